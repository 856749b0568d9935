// tavu-render as a user runs it: a subprocess given a command line, judged by its exit status, its
// messages and the files it leaves behind. Inputs are written here through the image library
// (tested on its own); expected pixels are worked out from the inputs by the routing a case
// asks for, channel by channel, without the renderer's code.
#include <ImfChannelList.h>
#include <ImfDeepFrameBuffer.h>
#include <ImfDeepScanLineOutputFile.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "tests/tools/raw_png.h"
#include "tools/image_io.h"

extern char** environ;

namespace fs = std::filesystem;
using tavu::render::Image;
using tavu::render::ReadImage;
using tavu::render::SampleKind;
using tavu::render::WriteImage;
using tavu::testing::WriteRawPng;

namespace {

struct Outcome {
  int status;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Joined(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) line += " " + a;
  return line;
}

// An RGBA image whose channel c of pixel i holds sample(i, c), called in storage order.
template <typename T, typename F>
Image Generated(int width, int height, F sample) {
  std::vector<T> samples;
  samples.reserve(std::size_t(width) * height * 4);
  for (int i = 0; i < width * height; ++i) {
    for (int c = 0; c < 4; ++c) samples.push_back(static_cast<T>(sample(i, c)));
  }
  Image image;
  image.width = width;
  image.height = height;
  image.samples = std::move(samples);
  return image;
}

// 8-bit RGBA noise from a fixed seed, which no format compresses much.
Image Noise(int width, int height) {
  std::uint32_t state = 12345;
  return Generated<std::uint8_t>(width, height, [&](int, int) {
    state = state * 1664525u + 1013904223u;
    return state >> 24;
  });
}

// A command that runs the rest of its arguments under the shell's limit `limit` ("-f 32").
std::vector<std::string> UnderLimit(const std::string& limit) {
  return {"/bin/sh", "-c", "ulimit " + limit + " && exec \"$@\"", "sh"};
}

// The signals held back by each thread of process `pid` but its first: the SigBlk mask of each,
// whose bit sig - 1 stands for the signal sig.
std::vector<std::uint64_t> HeldByOtherThreads(pid_t pid) {
  std::vector<std::uint64_t> masks;
  std::error_code gone;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", gone)) {
    if (task.path().filename() == std::to_string(pid)) continue;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) == 0) masks.push_back(std::stoull(line.substr(7), nullptr, 16));
    }
  }
  return masks;
}

constexpr int kWidth = 64, kHeight = 16;    // the layer
constexpr int kWidth2 = 24, kHeight2 = 30;  // the second layer: narrower and taller

class TavuRender : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavu_render_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "in");
    fs::create_directories(dir_ / "out");
    fs::create_directories(dir_ / "io");

    // Each channel runs through all 256 values (an odd step modulo 256), each channel with its
    // own step and offset, so that a swapped pair of channels shows.
    layer8_ = Generated<std::uint8_t>(kWidth, kHeight,
                                      [](int i, int c) { return i * (2 * c + 1) + 61 * c; });
    // Floats below 0, above 1 and in between, all exact in binary, a sequence per channel.
    layerFloat_ = Generated<float>(kWidth, kHeight, [](int i, int c) {
      return static_cast<float>((i * (c + 3) + 7 * c) % 97 - 20) / 32.0f;
    });
    layer2_ = Generated<std::uint8_t>(kWidth2, kHeight2,
                                      [](int i, int c) { return 255 - (i * 5 + 40 * c) % 256; });
    WriteImage(In("layer.png"), layer8_);
    WriteImage(In("layer.exr"), layerFloat_);
    WriteImage(In("second.png"), layer2_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string In(const std::string& name) const { return (dir_ / "in" / name).string(); }
  std::string Out(const std::string& name) const { return (dir_ / "out" / name).string(); }
  std::vector<std::string> OutputListing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / "out")) names.push_back(e.path().filename());
    return names;
  }
  void ClearOutputs() const {
    for (const auto& name : OutputListing()) fs::remove(Out(name));
  }

  // How a run is started, beyond its arguments.
  struct Launch {
    std::vector<std::string> env;      // NAME=VALUE entries added to the inherited environment
    std::string cwd;                   // its working folder; empty: the test's
    std::vector<std::string> wrapper;  // a command that runs the rest of its arguments
  };

  // Starts tavu-render with `args`, its standard output and error going to files for Finish.
  pid_t Start(const std::vector<std::string>& args, const Launch& launch = {}) {
    const fs::path out = dir_ / "io" / "stdout", err = dir_ / "io" / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!launch.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, launch.cwd.c_str());
    // The signals a test sends or provokes take their default action even when this test was
    // started with them ignored, as a background job is.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> argStrings = launch.wrapper;
    argStrings.push_back(TAVU_RENDER);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings(launch.env);
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
      return -1;
    }
    return pid;
  }

  Outcome Finish(pid_t pid) {
    if (pid < 0) return {-1, "", ""};
    int wait = 0;
    waitpid(pid, &wait, 0);
    const int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
    return {status, Slurp(dir_ / "io" / "stdout"), Slurp(dir_ / "io" / "stderr")};
  }

  // Runs tavu-render with `args`; `env` adds NAME=VALUE entries to the inherited environment.
  Outcome Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return Finish(Start(args, {env, "", {}}));
  }

  // A run that failed: its exit status, each of `messages` on stderr, and no output left.
  void ExpectFailed(const Outcome& r, int status, const std::vector<std::string>& messages,
                    const std::string& what = "") const {
    EXPECT_EQ(r.status, status) << what << "\n" << r.err;
    for (const std::string& m : messages)
      EXPECT_NE(r.err.find(m), std::string::npos) << what << "\n" << r.err;
    EXPECT_TRUE(OutputListing().empty()) << what;
  }

  fs::path dir_;
  Image layer8_, layerFloat_, layer2_;
};

// ---- errors ---------------------------------------------------------------------------------

TEST_F(TavuRender, ErrorsGiveTheirExitStatusAMessageAndNoOutput) {
  // A real PNG cut short, and a file that is no PNG at all.
  const std::string whole = Slurp(In("layer.png"));
  std::ofstream(In("cut.png"), std::ios::binary)
      .write(whole.data(), std::streamsize(whole.size() / 2));
  std::ofstream(In("text.png")) << "this is not an image\n";
  ASSERT_EQ(mkfifo(In("pipe.png").c_str(), 0644), 0);
  // Copies of a real module: cut inside its loadable segments, with the low byte of its machine
  // number made AArch64's (x86-64's on AArch64), and of the other class.
  const std::string module = Slurp(TAVU_REFUSING_MODULE);
  std::ofstream(In("cut.so"), std::ios::binary).write(module.data(), 3000);
  std::string changed = module;
  changed[18] = changed[18] == '\xB7' ? '\x3E' : '\xB7';
  std::ofstream(In("machine.so"), std::ios::binary) << changed;
  changed = module;
  changed[4] = changed[4] == 1 ? 2 : 1;
  std::ofstream(In("class.so"), std::ios::binary) << changed;
  // Copies with program headers the loader would trust and crash on or misread: a loadable
  // segment holding more of the file than of memory, one of no memory, the dynamic segment moved
  // out of them, a segment whose offset plus size passes 2^64, the count that marks extended
  // numbering. And a copy whose needed library is named with a terminal escape, which the
  // loader's message quotes.
  ElfW(Ehdr) elf;
  std::memcpy(&elf, module.data(), sizeof elf);
  const auto withSegment = [&](const char* name, unsigned type, bool last, auto change) {
    ElfW(Phdr) segment, chosen;
    std::size_t at = 0;
    for (std::size_t i = 0; i < elf.e_phnum; ++i) {
      const std::size_t offset = elf.e_phoff + i * sizeof segment;
      std::memcpy(&segment, module.data() + offset, sizeof segment);
      if (segment.p_type == type && (at == 0 || last)) {
        at = offset;
        chosen = segment;
      }
    }
    ASSERT_NE(at, 0u) << name;
    change(chosen);
    std::string copy = module;
    std::memcpy(copy.data() + at, &chosen, sizeof chosen);
    std::ofstream(In(name), std::ios::binary) << copy;
  };
  withSegment("filesz.so", PT_LOAD, true, [](ElfW(Phdr)& s) { s.p_memsz = s.p_filesz / 2; });
  withSegment("memsz.so", PT_LOAD, false, [](ElfW(Phdr)& s) { s.p_memsz = s.p_filesz = 0; });
  withSegment("dynamic.so", PT_DYNAMIC, false, [](ElfW(Phdr)& s) { s.p_vaddr += 1 << 20; });
  std::string wrapping;  // the message for a segment whose offset plus size passes 2^64
  withSegment("wrap.so", PT_LOAD, true, [&](ElfW(Phdr)& s) {
    s.p_filesz = 5 - s.p_offset;
    wrapping = "of " + std::to_string(s.p_filesz) + " bytes from byte " +
               std::to_string(s.p_offset) + " runs past the end of the file (" +
               std::to_string(module.size()) + " bytes)";
  });
  changed = module;
  const std::uint16_t extended = PN_XNUM;
  std::memcpy(changed.data() + offsetof(ElfW(Ehdr), e_phnum), &extended, sizeof extended);
  std::ofstream(In("xnum.so"), std::ios::binary) << changed;
  changed = module;
  const std::size_t libc = changed.find(std::string("libc.so.6", 10));
  ASSERT_NE(libc, std::string::npos);
  changed.replace(libc, 9, "\x1b[2Jxx.so");
  std::ofstream(In("needed.so"), std::ios::binary) << changed;

  // A channel named with a terminal escape, of a pixel type OpenEXR does not know (7; float is
  // 2), which its message quotes.
  {
    Imf::Header header(1, 1);
    for (const char* name : {"R", "\x1b[2J"}) {
      header.channels().insert(name, Imf::Channel(Imf::FLOAT));
    }
    float red = 0.5f;
    Imf::FrameBuffer frame;
    frame.insert("R",
                 Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(&red), sizeof red, sizeof red));
    Imf::OutputFile file(In("channel.exr").c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(1);
  }
  {
    std::string exr = Slurp(In("channel.exr"));
    exr[exr.find(std::string("\x1b[2J\0\x02", 6)) + 5] = 7;
    std::ofstream(In("channel.exr"), std::ios::binary) << exr;
  }

  const std::string layer = In("layer.png"), out = Out("result.png");
  const std::string refusing = TAVU_REFUSING_MODULE;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> message;  // each must appear on stderr
    std::string refuse = "";           // command number the refusing module refuses, or empty
  };
  const Case cases[] = {
      // Parameters, learned from the module.
      {{"--effect", "blending", "--layer", layer, "--set", "Bogus=1", "--output", out}, 2,
       {"unknown parameter \"Bogus\"", "\"Swap Inputs\", \"Blending Mode\", \"Intensity\""}},
      {{"--effect", "blending", "--layer", layer, "--set", "Blending Mode=Dodge", "--output", out},
       2, {"\"Dodge\" is not a choice of \"Blending Mode\"", "\"Color Dodge\"", "1..29"}},
      {{"--effect", "blending", "--layer", layer, "--set", "Intensity=6", "--output", out}, 2,
       {"\"Intensity\"", "1..5"}},
      {{"--effect", "brightness-check", "--host", "premiere", "--layer", layer, "--set",
        "Highlight Clamp Value=255.5", "--output", out},
       2, {"\"Highlight Clamp Value\"", "0..255"}},
      {{"--effect", "combine-rgba", "--layer", layer, "--set", "Mix", "--output", out}, 2,
       {"NAME=VALUE"}},
      {{"--effect", "combine-rgba", "--layer", layer, "--set", "Input2=x.png", "--output", out}, 2,
       {"--layer2"}},
      {{"--effect", "brightness-check", "--layer", layer, "--layer2", layer, "--output", out}, 2,
       {"no layer parameter"}},
      // The command line itself.
      {{"--effect", "blending", "--host", "premiere", "--depth", "16", "--layer", layer, "--output",
        out},
       2, {"--depth 16"}},
      {{"--effect", "blend", "--about"}, 2,
       {"unknown effect \"blend\"", "blending, combine-rgba, brightness-check, color-gray"}},
      {{"--effect", "blending", "--layer", layer, "--output", Out("result.tif")}, 2,
       {".png or .exr"}},
      // A name that is only the extension, and empty values, say what is missing.
      {{"--effect", "blending", "--layer", layer, "--output", Out(".png")}, 2,
       {"--output " + Out(".png") + ": a name is missing before .png"}},
      {{"--effect", "blending", "--layer", "", "--output", out}, 2,
       {"--layer: the value is empty"}},
      {{"--effect", "blending", "--layer", layer, "--layer2", "", "--output", out}, 2,
       {"--layer2: the value is empty"}},
      {{"--effect", "", "--about"}, 2, {"--effect: the value is empty"}},
      {{"--effect", "blending", "--module", "", "--about"}, 2, {"--module: the value is empty"}},
      {{"--effect", "blending", "--layer", layer, "--output", ""}, 2,
       {"--output: the value is empty"}},
      {{"--effect", "blending", "--depth", "12", "--layer", layer, "--output", out}, 2,
       {"--depth takes 8, 16 or 32"}},
      {{"--effect", "blending", "--layer", layer}, 2, {"--output FILE"}},
      {{"--effect", "blending", "--module", refusing, "--about"}, 2, {"exactly one of"}},
      {{"--effect", "blending", "--about", "--set", "Mix=5"}, 2, {"--set"}},
      {{"--effect", "blending", "--layer", layer, "--set", "Mix=5", "--set", "Mix=6", "--output",
        out},
       2, {"\"Mix\" given twice"}},
      {{"--effect", "blending", "--threads", " 4", "--layer", layer, "--output", out}, 2,
       {"--threads takes a whole number in 1..1024"}},
      // Premiere Pro renders a frame on one thread: there are no rows to share out.
      {{"--effect", "blending", "--host", "premiere", "--threads", "4", "--layer", layer,
        "--output", out},
       2, {"--threads", "Premiere Pro renders a frame on one thread"}},
      // Files.
      {{"--effect", "blending", "--layer", In("missing.png"), "--output", out}, 1,
       {"missing.png: no such file"}},
      {{"--effect", "blending", "--layer", layer, "--layer2", In("missing.png"), "--output", out},
       1, {"missing.png: no such file"}},
      {{"--effect", "blending", "--layer", In("text.png"), "--output", out}, 1,
       {"text.png: not a PNG file"}},
      {{"--effect", "blending", "--layer", In("cut.png"), "--output", out}, 1,
       {"cut.png: damaged PNG"}},
      {{"--effect", "blending", "--layer", In("channel.exr"), "--output", out}, 1,
       {"channel.exr: damaged OpenEXR file: ", "\"\\x1b[2J\""}},
      {{"--module", In("text.png"), "--about"}, 1, {"cannot load module"}},
      {{"--effect", "blending", "--layer", layer, "--output", Out("no/such/dir/result.png")}, 1,
       {"result.png"}},
      // The output's folder is checked before any layer is read.
      {{"--effect", "blending", "--layer", In("missing.png"), "--output",
        Out("no/such/dir/result.png")},
       1, {"result.png: the folder ", "no/such/dir does not exist"}},
      // Only a file is replaced: a pipe at the output stays a pipe.
      {{"--effect", "blending", "--layer", layer, "--output", In("pipe.png")}, 1,
       {"pipe.png: not a regular file"}},
      // A module name without a folder is a file here, never one from the library path.
      {{"--module", "libc.so.6", "--about"}, 1, {"cannot load module ./libc.so.6"}},
      // Module files the loader would crash or hang on, or would report as missing.
      {{"--module", In("cut.so"), "--about"}, 1,
       {"cut.so: cut short: a loadable segment of ", "runs past the end of the file (3000 bytes)"}},
      {{"--module", In("wrap.so"), "--about"}, 1,
       {"wrap.so: cut short: a loadable segment " + wrapping}},
      {{"--module", In("filesz.so"), "--about"}, 1,
       {"filesz.so: a loadable segment holds ", " bytes of the file but only "}},
      {{"--module", In("memsz.so"), "--about"}, 1,
       {"memsz.so: a loadable segment has a memory size of 0"}},
      {{"--module", In("dynamic.so"), "--about"}, 1,
       {"dynamic.so: its dynamic segment (", ") lies outside its loadable segments"}},
      {{"--module", In("xnum.so"), "--about"}, 1,
       {"xnum.so: its program headers are counted in its first section header (extended "
        "numbering)"}},
      // The loader's message, its escapes escaped once.
      {{"--module", In("needed.so"), "--about"}, 1,
       {"needed.so: \\x1b[2Jxx.so: cannot open shared object file"}},
      {{"--module", In("pipe.png"), "--about"}, 1, {"pipe.png: not a regular file"}},
      {{"--module", In("machine.so"), "--about"}, 1,
       {"machine.so: an ELF file for another machine"}},
      {{"--module", In("class.so"), "--about"}, 1, {"class.so: a ", "-bit ELF file; this machine"}},
      // The module's own error codes, named by command.
      {{"--module", refusing, "--about"}, 3, {"error 42 for PluginDataEntryFunction"}, "-1"},
      {{"--module", refusing, "--about"}, 3,
       {"passed a null display name to the host's registration callback", "error 516"}, "names"},
      // The module's message on one line, its control characters escaped.
      {{"--module", refusing, "--about"}, 3,
       {"(it says: \"two\\nlines \\x1b[31mred\\\\\")\n"}, "1:two\nlines \x1b[31mred\\"},
      {{"--module", refusing, "--about"}, 3,
       {"error 42 for PF_Cmd_GLOBAL_SETUP", "refused on request"}, "1"},
      {{"--module", refusing, "--list-params"}, 3,
       {"error 42 for PF_Cmd_PARAMS_SETUP", "refused on request"}, "4"},
      {{"--module", refusing, "--list-params"}, 3,
       {"error 42 for PF_Cmd_SEQUENCE_SETUP", "refused on request"}, "5"},
      {{"--module", refusing, "--about"}, 3, {"error 42 for PF_Cmd_ABOUT", "refused on request"},
       "0"},
      {{"--module", refusing, "--layer", layer, "--output", out}, 3,
       {"error 42 for PF_Cmd_RENDER", "refused on request"}, "11"},
      {{"--module", refusing, "--smart", "--layer", layer, "--output", out}, 3,
       {"error 42 for PF_Cmd_SMART_PRE_RENDER", "refused on request"}, "23"},
      {{"--module", refusing, "--smart", "--layer", layer, "--output", out}, 3,
       {"error 42 for PF_Cmd_SMART_RENDER", "refused on request"}, "24"},
      // A render that succeeded still fails, and writes nothing, when set-down is refused.
      {{"--module", refusing, "--layer", layer, "--output", out}, 3,
       {"error 42 for PF_Cmd_SEQUENCE_SETDOWN", "refused on request"}, "8"},
      {{"--module", refusing, "--depth", "32", "--layer", layer, "--output", out}, 3,
       {"error 42 for PF_Cmd_GLOBAL_SETDOWN", "refused on request"}, "3"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> env;
    if (!c.refuse.empty()) env.push_back("TAVU_REFUSE=" + c.refuse);
    const Outcome r = Run(c.args, env);
    const std::string what = Joined(c.args) + (c.refuse.empty() ? "" : " refusing " + c.refuse);
    ExpectFailed(r, c.status, c.message, what);
    EXPECT_EQ(r.err.rfind("tavu-render: ", 0), 0u) << what;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << what;
  }

  // The refusing module renders fine when nothing is refused: the failures above are its
  // refusals, not a module the renderer cannot drive.
  EXPECT_EQ(Run({"--module", refusing, "--smart", "--layer", layer, "--output", out}).status, 0);
  EXPECT_TRUE(fs::exists(out));
}

// ---- where the output lands -------------------------------------------------------------------

TEST_F(TavuRender, OutputsLandWhereTheirNamesLead) {
  const std::string layer = In("layer.png");
  const std::string longName = std::string(251, 'n') + ".png";  // 255 bytes, the usual limit
  fs::copy_file(TAVU_REFUSING_MODULE, In("refusing.so"));
  struct Case {
    const char* name;
    std::string output;
    std::string written;  // the file that must hold the frame: the output, or its link's target
    std::function<void()> prepare = [] {};
    std::function<void()> check = [] {};
    bool moduleInWorkingFolder = false;  // else the run names the effect
  };
  const auto isLayer = [](const std::string& path) {
    if (!fs::is_regular_file(path) || Slurp(path) == "old") {
      ADD_FAILURE() << path << " was not written";
      return;
    }
    const Image image = ReadImage(path);
    EXPECT_EQ(image.width, kWidth) << path;
    EXPECT_EQ(image.height, kHeight) << path;
  };
  const Case cases[] = {
      {"the longest name a folder takes", Out(longName), Out(longName)},
      // A link is written through: its target gets the frame, the link stays a link.
      {"a link to a file", Out("link.png"), In("target.png"),
       [&] {
         std::ofstream(In("target.png")) << "old";
         fs::create_symlink("../in/target.png", Out("link.png"));
       },
       [&] { EXPECT_TRUE(fs::is_symlink(Out("link.png"))); }},
      {"a link to no file yet", Out("dangling.png"), In("new.png"),
       [&] { fs::create_symlink(In("new.png"), Out("dangling.png")); },
       [&] { EXPECT_TRUE(fs::is_symlink(Out("dangling.png"))); }},
      // A replaced file keeps its permissions; 0604 is no umask's default.
      {"a file with its own permissions", Out("kept.png"), Out("kept.png"),
       [&] {
         std::ofstream(Out("kept.png")) << "old";
         chmod(Out("kept.png").c_str(), 0604);
       },
       [&] {
         struct stat s {};
         EXPECT_EQ(stat(Out("kept.png").c_str(), &s), 0);
         EXPECT_EQ(s.st_mode & 07777, 0604u);
       }},
      // A module named without a folder is the file in the working folder.
      {"a module in the working folder", Out("module.png"), Out("module.png"), [] {}, [] {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearOutputs();
    c.prepare();
    const std::vector<std::string> before = OutputListing();
    const bool here = c.moduleInWorkingFolder;
    const std::vector<std::string> args = {here ? "--module" : "--effect",
                                           here ? "refusing.so" : "combine-rgba",
                                           "--layer", layer, "--output", c.output};
    const Outcome r = Finish(Start(args, {{}, here ? (dir_ / "in").string() : "", {}}));
    if (r.status != 0) {
      ADD_FAILURE() << "exit status " << r.status << ":" << Joined(args) << "\n" << r.err;
      continue;
    }
    isLayer(c.written);
    c.check();
    // Nothing but the output itself is left beside it.
    std::vector<std::string> after = OutputListing();
    for (const auto& name : before) {
      after.erase(std::remove(after.begin(), after.end(), name), after.end());
    }
    EXPECT_LE(after.size(), 1u) << Joined(args);
  }
}

// ---- interrupted and starved runs -------------------------------------------------------------

// A run stopped by a signal while it writes its output removes the file it was writing, leaves
// the earlier output as it was, and ends by the signal. The layer is noise, so writing it as a
// 16-bit PNG keeps the compressor busy long enough to be caught at it.
TEST_F(TavuRender, AnInterruptedWriteLeavesNothingBehind) {
  constexpr int kBigWidth = 2048, kBigHeight = 1024;
  WriteImage(In("noise.png"), Noise(kBigWidth, kBigHeight));
  const std::vector<std::string> args = {"--effect", "combine-rgba",    "--depth",
                                         "16",       "--layer",         In("noise.png"),
                                         "--output", Out("result.png")};
  struct Case {
    int sig;
    std::vector<std::string> more = {};  // further arguments
    std::vector<std::string> env = {};
  };
  // SIGXCPU is what a CPU-time limit sends; SIGALRM and SIGUSR1 stand for the other signals that
  // end a process by default.
  const Case cases[] = {
      {SIGINT},
      {SIGTERM},
      {SIGHUP},
      {SIGQUIT},
      {SIGXCPU},
      {SIGALRM},
      {SIGUSR1},
      // The OpenEXR second layer starts OpenEXR's pool of threads, one for each core up to 8,
      // which live on while the output is written. A signal that reached one of them would end
      // the process there, where the file just created may not be known yet: each must hold the
      // cleanup signals back.
      {SIGTERM, {"--threads", "8", "--layer2", In("layer.exr")}},
      // A sampling profiler's SIGPROF handler and timer, set before main, stay in place: taken
      // over, the first tick would end the run.
      {SIGTERM, {}, {"LD_PRELOAD=" TAVU_PROFILING_TIMER}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(strsignal(c.sig) + Joined(c.more) + Joined(c.env));
#if defined(__SANITIZE_ADDRESS__)
    // ASan refuses to start unless its runtime is the first library loaded.
    if (!c.env.empty()) continue;
#endif
    std::vector<std::string> run = args;
    run.insert(run.end(), c.more.begin(), c.more.end());
    ClearOutputs();
    std::ofstream(Out("result.png")) << "old";
    bool caught = false;
    // The write is caught when a second file appears beside the output; a machine fast enough to
    // finish first gets another try.
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
      // No core file of SIGQUIT's default action in the folder the tests run in. A preloaded
      // library goes into tavu-render alone: in the shell, its timer would run on through exec and
      // could end tavu-render before the library has set its handler again.
      const pid_t pid =
          Start(run, {c.env, "", c.env.empty() ? UnderLimit("-c 0") : std::vector<std::string>{}});
      ASSERT_GT(pid, 0);
      const auto running = [pid] {
        siginfo_t info{};
        return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
      };
      while (!caught && running()) caught = OutputListing().size() > 1;
      // Every thread OpenEXR's pool started holds the cleanup signals back.
      if (caught && !c.more.empty()) {
        const std::uint64_t cleanup = 1u << (SIGINT - 1) | 1u << (SIGTERM - 1) | 1u << (SIGHUP - 1);
        const std::vector<std::uint64_t> held = HeldByOtherThreads(pid);
        EXPECT_GE(held.size(), 2u) << "OpenEXR's pool is not running";
        for (const std::uint64_t mask : held) {
          EXPECT_EQ(mask & cleanup, cleanup) << std::hex << mask;
        }
      }
      if (caught) kill(pid, c.sig);
      const Outcome r = Finish(pid);
      if (!caught) {
        ASSERT_EQ(r.status, 0) << r.err;
        std::ofstream(Out("result.png")) << "old";
        continue;
      }
      EXPECT_EQ(r.status, 128 + c.sig) << r.err;
    }
    ASSERT_TRUE(caught) << "the write was never seen under way";
    EXPECT_EQ(OutputListing(), std::vector<std::string>{"result.png"});
    EXPECT_EQ(Slurp(Out("result.png")), "old");
  }
}

// A write past the file-size limit is a write error like any other: told, naming the output and
// not the temporary file, with nothing of the new file left and the earlier output as it was.
// The layer is noise, which no format compresses below the limit.
TEST_F(TavuRender, AWriteBeyondTheFileSizeLimitFailsAndKeepsTheEarlierOutput) {
  WriteImage(In("noise.png"), Noise(128, 128));
  for (const char* name : {"result.png", "result.exr"}) {
    SCOPED_TRACE(name);
    ClearOutputs();
    std::ofstream(Out(name)) << "old";
    const std::vector<std::string> args = {"--effect", "combine-rgba", "--depth", "32",
                                           "--layer",  In("noise.png"), "--output", Out(name)};
    // 32 blocks of 512 bytes: 16 KiB, well short of either output.
    const Outcome r = Finish(Start(args, {{}, "", UnderLimit("-f 32")}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("tavu-render: " + Out(name) + ": ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find(".tavu-"), std::string::npos) << r.err;
    EXPECT_EQ(OutputListing(), std::vector<std::string>{name});
    EXPECT_EQ(Slurp(Out(name)), "old");
  }
}

// Short of memory at any stage, a run says so with the frame it was rendering, exits 1 and
// writes nothing. The address-space limit is set by the shell that starts it.
TEST_F(TavuRender, RunningOutOfMemoryIsAFileErrorThatSaysSo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#endif
  // A 2048 x 2048 float frame is 64 MiB a world: under the first limit the layer is read but its
  // world and the output's do not fit. Under the second an 8-bit frame fits, but not the stacks of
  // 1024 threads; the threads that cannot be started are done without. The interlaced layer's
  // world fits under the first limit, but not the 32 MiB of the layer decoded whole beside it.
  constexpr int kSide = 2048;
  WriteImage(In("flat.png"), Generated<std::uint8_t>(kSide, kSide, [](int, int) { return 90; }));
  WriteImage(In("flat.exr"), Generated<float>(kSide, kSide, [](int, int) { return 0.5f; }));
  // Black, 16-bit RGBA, interlaced: the reader decodes it whole before its rows are converted.
  const std::vector<std::uint8_t> blackRow(kSide * 8);
  WriteRawPng(In("interlaced.png"), {kSide, kSide, PNG_COLOR_TYPE_RGB_ALPHA, 16, true,
                                     std::vector<std::vector<std::uint8_t>>(kSide, blackRow)});
  // A header that declares a string attribute of 2 GiB before its first attribute, in a file
  // that ends long before: memory runs out before the frame's size is known.
  std::string exr = Slurp(In("layer.exr"));
  exr.insert(8, std::string("big\0string\0\xF0\xFF\xFF\x7F", 15));
  std::ofstream(In("attribute.exr"), std::ios::binary) << exr;
  // A flat 2000 x 2000 float frame, PIZ- and RLE-compressed by OpenEXR itself: every row is read
  // from the same one.
  for (const auto& [name, compression] : {std::pair{"flat.piz.exr", Imf::PIZ_COMPRESSION},
                                          std::pair{"flat.rle.exr", Imf::RLE_COMPRESSION}}) {
    Imf::Header header(2000, 2000);
    header.compression() = compression;
    std::vector<float> row(2000 * 4, 0.5f);
    const char* names[4] = {"R", "G", "B", "A"};
    Imf::FrameBuffer frame;
    for (int c = 0; c < 4; ++c) {
      header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
      frame.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(row.data() + c),
                                        4 * sizeof(float), 0));
    }
    Imf::OutputFile file(In(name).c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(2000);
  }
  const struct {
    const char* layer;
    int limitKiB;
    const char* depth;
    const char* threads;
    bool mayFinish;
    std::vector<std::string> messages;
    const char* layer2 = nullptr;
    const char* output = "result.png";
    // How many limits are tried, from limitKiB up 128 KiB at a time, where what runs short
    // depends on how the threads run into it, or on a page or two.
    int limits = 1;
  } cases[] = {{"flat.png", 100000, "32", "1", false,
                {"out of memory", "out of memory: a 2048x2048 frame at 32 bits needs about "}},
               {"flat.png", 200000, "8", "1024", true, {"out of memory"}},
               // OpenEXR's line buffers, one for each of 8 threads, are what does not fit.
               {"flat.exr", 95000, "32", "8", true, {"out of memory"}},
               {"interlaced.png", 100000, "32", "1", false,
                {"out of memory: a 2048x2048 frame at 32 bits needs about 160 MiB"}},
               {"attribute.exr", 100000, "32", "1", false,
                {"attribute.exr: out of memory while reading its header\n"}},
               {"layer.exr", 100000, "32", "1", false,
                {"attribute.exr: out of memory while reading its header\n"}, "attribute.exr"},
               // The blocks OpenEXR decodes on its thread pool do not fit: its threads catch
               // std::bad_alloc and pass its text on inside a message of their own.
               {"flat.piz.exr", 192512, "32", "8", true, {"out of memory"}, nullptr, "result.png",
                4},
               // zlib has no memory as OpenEXR compresses the output's blocks on its thread pool,
               // which OpenEXR tells, or drops the block without a word.
               {"flat.rle.exr", 171264, "32", "2", true, {"out of memory"}, nullptr, "result.exr",
                4},
               // Memory runs out as the chunk check's threads start and first meet the core
               // library.
               {"flat.piz.exr", 259072, "32", "8", true, {"out of memory"}, nullptr, "result.png",
                36}};
  for (const auto& c : cases) {
    for (int i = 0; i < c.limits; ++i) {
      const std::string limit = std::to_string(c.limitKiB + 128 * i);
      SCOPED_TRACE(std::string(c.layer) + ", " + limit + " KiB, threads " + c.threads);
      std::vector<std::string> args = {"--effect",  "combine-rgba", "--depth", c.depth,
                                       "--threads", c.threads,      "--layer", In(c.layer),
                                       "--output",  Out(c.output)};
      if (c.layer2 != nullptr) args.insert(args.end(), {"--layer2", In(c.layer2)});
      const Outcome r = Finish(Start(args, {{}, "", UnderLimit("-v " + limit)}));
      if (c.mayFinish && r.status == 0) {
        fs::remove(Out(c.output));
        continue;
      }
      ExpectFailed(r, 1, c.messages);
      EXPECT_EQ(r.err.find("bad_alloc"), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("damaged"), std::string::npos) << r.err;
    }
  }
}

// ---- what the module says about itself --------------------------------------------------------

TEST_F(TavuRender, AboutAndParameterListingShowWhatTheModuleDeclares) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;  // each must appear on stdout
    std::vector<std::string> absent = {};
    std::vector<std::string> env = {};
  };
  const Case cases[] = {
      {{"--effect", "blending", "--about"},
       {"tavu-Blending, v3.0\nBlending mode operation between two layers\n"
        "by Velmar Oskend and Renolt Marquady\n",
        "match name:    ZELQ Blending\n", "kind:          'eFKT' (0x65464B54)\n",
        "API version:   13.27\n", "version:       3.0.0 develop build 0 (0x00180000)\n",
        "out_flags:     0x02000440\n", "out_flags2:    0x18001440\n"},
       {"\r"}},
      // Premiere Pro gets no About text, and other flags.
      {{"--effect", "brightness-check", "--host", "premiere", "--about"},
       {"display name:  tavu-Brightness Check\n", "out_flags:     0x00000440\n",
        "out_flags2:    0x18008440\n"},
       {"v3.0"}},
      {{"--effect", "blending", "--list-params"},
       {"1  layer  \"Input 2\"  default this layer\n",
        "3  popup  \"Blending Mode\"  default 1 (Normal)  choices 1=Normal | 2=Lighten",
        "15=Color Dodge", "29=Luminosity\n", "4  slider  \"Intensity\"  default 1  range 1..5\n",
        "6  float-slider  \"Mix\"  default 100  range 0..100\n"},
       {"7  "}},
      // The thresholds' ranges follow the host.
      {{"--effect", "brightness-check", "--list-params"},
       {"1  float-slider  \"Highlight Clamp Value\"  default 1  range 0..1\n"}},
      {{"--effect", "brightness-check", "--host", "premiere", "--list-params"},
       {"1  float-slider  \"Highlight Clamp Value\"  default 255  range 0..255\n",
        "4  color  \"Shadow Color\"  default #FF0000FF"}},
      // A name that fills its whole field ends with the field.
      {{"--module", TAVU_REFUSING_MODULE, "--list-params"},
       {"1  checkbox  \"" + std::string(32, 'N') + "\"  default off"},
       {},
       {"TAVU_REFUSE=full-name"}},
  };
  for (const Case& c : cases) {
    const Outcome r = Run(c.args, c.env);
    EXPECT_EQ(r.status, 0) << Joined(c.args) << "\n" << r.err;
    for (const auto& line : c.lines)
      EXPECT_NE(r.out.find(line), std::string::npos) << Joined(c.args) << "\n" << r.out;
    for (const auto& text : c.absent)
      EXPECT_EQ(r.out.find(text), std::string::npos) << Joined(c.args) << "\n" << r.out;
  }
}

// ---- channel routing through Combine RGBA -----------------------------------------------------

// Where an output channel comes from, in the layer's or the second layer's RGBA samples.
enum Source { kOwnRed, kOwnGreen, kOwnBlue, kOwnAlpha, kSecondRed, kZero };

TEST_F(TavuRender, CombineRgbaRoutesEveryChannelExactlyOnBothHostsAndPaths) {
  struct Routing {
    const char* name;
    std::vector<std::string> args;
    Source rgba[4];
  };
  const std::string second = In("second.png");
  const Routing routings[] = {
      // The defaults route each channel to itself: the renderer must hand back the input.
      {"identity", {}, {kOwnRed, kOwnGreen, kOwnBlue, kOwnAlpha}},
      {"rotation",
       {"--set", "Red Channel=Original Green", "--set", "Green Channel=3", "--set",
        "Blue Channel=Original Alpha", "--set", "Alpha Channel=Original Red"},
       {kOwnGreen, kOwnBlue, kOwnAlpha, kOwnRed}},
      // The second layer: the layer itself by default, a file of another size, or none.
      {"input2 default", {"--set", "Red Channel=Input2 Red"},
       {kOwnRed, kOwnGreen, kOwnBlue, kOwnAlpha}},
      {"input2 file", {"--set", "Red Channel=Input2 Red", "--layer2", second},
       {kSecondRed, kOwnGreen, kOwnBlue, kOwnAlpha}},
      {"input2 none",
       {"--set", "Red Channel=Input2 Red", "--set", "Alpha Channel=Input2 Red", "--layer2", "none"},
       {kZero, kOwnGreen, kOwnBlue, kZero}},
  };

  for (const Routing& routing : routings) {
    for (const char* host : {"ae", "premiere"}) {
      for (const bool deep : {false, true}) {
        for (const bool smart : {false, true}) {
          std::vector<std::string> args = {"--effect", "combine-rgba", "--host", host, "--depth",
                                           deep ? "32" : "8", "--layer",
                                           In(deep ? "layer.exr" : "layer.png"), "--output",
                                           Out(deep ? "r.exr" : "r.png")};
          if (smart) args.push_back("--smart");
          args.insert(args.end(), routing.args.begin(), routing.args.end());
          const std::string what = std::string(routing.name) + ":" + Joined(args);
          const Outcome r = Run(args);
          ASSERT_EQ(r.status, 0) << what << "\n" << r.err;
          const Image got = ReadImage(Out(deep ? "r.exr" : "r.png"));
          ASSERT_EQ(got.width, kWidth) << what;
          ASSERT_EQ(got.height, kHeight) << what;

          int wrong = 0;
          for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
              for (int c = 0; c < 4; ++c) {
                const std::size_t own = (std::size_t(y) * kWidth + x) * 4;
                const bool inSecond = x < kWidth2 && y < kHeight2;
                const std::size_t other = (std::size_t(y) * kWidth2 + x) * 4;
                const Source s = routing.rgba[c];
                if (deep) {
                  // The second layer's 8-bit samples enter a float world as v / 255.
                  const auto& in = std::get<std::vector<float>>(layerFloat_.samples);
                  const auto& in2 = std::get<std::vector<std::uint8_t>>(layer2_.samples);
                  const float want =
                      s == kZero ? 0.0f
                      : s == kSecondRed
                          ? (inSecond ? static_cast<float>(in2[other]) / 255.0f : 0.0f)
                          : in[own + s];
                  const float have = std::get<std::vector<float>>(got.samples)[own + c];
                  wrong += std::memcmp(&want, &have, sizeof want) != 0;
                } else {
                  const auto& in = std::get<std::vector<std::uint8_t>>(layer8_.samples);
                  const auto& in2 = std::get<std::vector<std::uint8_t>>(layer2_.samples);
                  const int want = s == kZero        ? 0
                                   : s == kSecondRed ? (inSecond ? in2[other] : 0)
                                                     : in[own + s];
                  wrong += std::get<std::vector<std::uint8_t>>(got.samples)[own + c] != want;
                }
              }
            }
          }
          EXPECT_EQ(wrong, 0) << what;
        }
      }
    }
  }
}

// ---- OpenEXR files beyond one flat part at the origin -------------------------------------------

// OpenEXR inputs made with the library directly: a deep image, a multipart file whose first part
// holds only depth, and a frame whose data window lies inside a larger display window.
void WriteDeepExr(const std::string& path) {
  Imf::Header header(4, 2);
  header.setType(Imf::DEEPSCANLINE);
  header.compression() = Imf::ZIPS_COMPRESSION;
  for (const char* name : {"R", "G", "B", "A", "Z"})
    header.channels().insert(name, Imf::Channel(Imf::FLOAT));
  Imf::DeepScanLineOutputFile file(path.c_str(), header);
  std::vector<unsigned int> counts(8, 1);
  std::vector<float> values(8, 0.5f);
  std::vector<float*> pointers(8);
  for (int i = 0; i < 8; ++i) pointers[i] = &values[i];
  Imf::DeepFrameBuffer frame;
  frame.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char*>(counts.data()),
                                          sizeof(unsigned int), sizeof(unsigned int) * 4));
  for (const char* name : {"R", "G", "B", "A", "Z"}) {
    frame.insert(name, Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char*>(pointers.data()),
                                      sizeof(float*), sizeof(float*) * 4, sizeof(float)));
  }
  file.setFrameBuffer(frame);
  file.writePixels(2);
}

// RGBA float channels of `image` in a frame buffer for the data window `window`.
Imf::FrameBuffer RgbaFrame(const Image& image, const Imath::Box2i& window) {
  const auto& samples = std::get<std::vector<float>>(image.samples);
  Imf::FrameBuffer frame;
  const char* names[4] = {"R", "G", "B", "A"};
  for (int c = 0; c < 4; ++c) {
    frame.insert(names[c], Imf::Slice::Make(Imf::FLOAT, samples.data() + c, window,
                                            4 * sizeof(float), 4 * sizeof(float) * image.width));
  }
  return frame;
}

// Part 1 "depth" holds Z only, part 2 (named `partName`) the image as RGBA.
void WriteTwoPartExr(const std::string& path, const Image& image,
                     const std::string& partName = "beauty") {
  const Imath::Box2i window({0, 0}, {image.width - 1, image.height - 1});
  std::vector<Imf::Header> headers(2, Imf::Header(image.width, image.height));
  headers[0].setName("depth");
  headers[0].channels().insert("Z", Imf::Channel(Imf::FLOAT));
  headers[1].setName(partName);
  for (const char* name : {"R", "G", "B", "A"})
    headers[1].channels().insert(name, Imf::Channel(Imf::FLOAT));
  for (auto& header : headers) header.setType(Imf::SCANLINEIMAGE);
  Imf::MultiPartOutputFile file(path.c_str(), headers.data(), 2);
  const std::vector<float> depth(std::size_t(image.width) * image.height, 3.0f);
  Imf::FrameBuffer depthFrame;
  depthFrame.insert("Z", Imf::Slice::Make(Imf::FLOAT, depth.data(), window));
  Imf::OutputPart depthPart(file, 0);
  depthPart.setFrameBuffer(depthFrame);
  depthPart.writePixels(image.height);
  Imf::OutputPart beauty(file, 1);
  beauty.setFrameBuffer(RgbaFrame(image, window));
  beauty.writePixels(image.height);
}

void WriteWindowedExr(const std::string& path, const Image& image, const Imath::Box2i& display,
                      const Imath::Box2i& data) {
  Imf::Header header(display, data);
  for (const char* name : {"R", "G", "B", "A"})
    header.channels().insert(name, Imf::Channel(Imf::FLOAT));
  Imf::OutputFile file(path.c_str(), header);
  file.setFrameBuffer(RgbaFrame(image, data));
  file.writePixels(image.height);
}

TEST_F(TavuRender, OpenExrDeepMultipartAndPlacedInputs) {
  WriteDeepExr(In("deep.exr"));
  ExpectFailed(Run({"--effect", "color-gray", "--depth", "32", "--layer", In("deep.exr"),
                    "--output", Out("deep.exr")}),
               1, {"deep.exr: a deep OpenEXR image"});

  // Each file holds layer.exr's pixels, so each render must equal the one of layer.exr.
  const Imath::Box2i display({0, 0}, {99, 59});
  const Imath::Box2i data({10, 20}, {10 + kWidth - 1, 20 + kHeight - 1});
  WriteTwoPartExr(In("parts.exr"), layerFloat_);
  WriteWindowedExr(In("placed.exr"), layerFloat_, display, data);
  const std::vector<std::string> render = {"--effect", "color-gray", "--set",
                                           "Grayscale Source=Luma", "--depth", "32"};
  auto renderOf = [&](const std::string& layer, const std::string& output) {
    std::vector<std::string> args = render;
    args.insert(args.end(), {"--layer", In(layer), "--output", Out(output)});
    return Run(args);
  };
  ASSERT_EQ(renderOf("layer.exr", "plain.exr").status, 0);
  const Image plain = ReadImage(Out("plain.exr"));

  const Outcome parts = renderOf("parts.exr", "parts.exr");
  ASSERT_EQ(parts.status, 0) << parts.err;
  EXPECT_NE(parts.out.find("parts.exr: read part 2 of 2 (\"beauty\")"), std::string::npos)
      << parts.out;
  EXPECT_TRUE(ReadImage(Out("parts.exr")).samples == plain.samples);
  // A part's name is told on one line, its control characters escaped.
  WriteTwoPartExr(In("named.exr"), layerFloat_, "be\x1b]0;title\x07" "auty\n");
  const Outcome named = renderOf("named.exr", "named.exr");
  EXPECT_NE(named.out.find("(\"be\\x1b]0;title\\x07auty\\n\")\n"), std::string::npos)
      << named.out;

  const Outcome placed = renderOf("placed.exr", "placed.exr");
  ASSERT_EQ(placed.status, 0) << placed.err;
  EXPECT_TRUE(ReadImage(Out("placed.exr")).samples == plain.samples);
  Imf::InputFile written(Out("placed.exr").c_str());
  EXPECT_EQ(written.header().dataWindow(), data);
  EXPECT_EQ(written.header().displayWindow(), display);
  // layer.exr lies at the origin of a frame of its own size, and so does its render.
  Imf::InputFile origin(Out("plain.exr").c_str());
  EXPECT_EQ(origin.header().dataWindow(), Imath::Box2i({0, 0}, {kWidth - 1, kHeight - 1}));
  EXPECT_EQ(origin.header().displayWindow(), origin.header().dataWindow());
}

// ---- every effect at every depth on both hosts ------------------------------------------------

TEST_F(TavuRender, EveryEffectRendersEveryFormatAtTheLayersSize) {
  struct Format {
    const char* host;
    const char* depth;
    SampleKind png;  // what a .png output holds at this depth
  };
  const Format formats[] = {
      {"ae", "8", SampleKind::kPng8},         {"ae", "16", SampleKind::kPng16},
      {"ae", "32", SampleKind::kPng16},       {"premiere", "8", SampleKind::kPng8},
      {"premiere", "32", SampleKind::kPng16},
  };
  struct Effect {
    const char* name;
    bool takesSecondLayer;
  };
  const Effect effects[] = {{"blending", true},
                            {"combine-rgba", true},
                            {"brightness-check", false},
                            {"color-gray", true}};
  // Settings away from the defaults where a default would leave the layer as it is.
  const std::vector<std::vector<std::string>> settings = {
      {"--set", "Blending Mode=Overlay"},
      {"--set", "Red Channel=Input2 Blue", "--set", "Mix=75"},
      {"--set", "Mix=50"},
      {"--set", "Grayscale Source=Luma"},
  };

  for (std::size_t e = 0; e < std::size(effects); ++e) {
    std::map<std::string, Image> byFormat;
    for (const Format& f : formats) {
      std::vector<std::string> base = {"--effect", effects[e].name, "--host",  f.host,
                                       "--depth",  f.depth,         "--layer", In("layer.exr")};
      if (effects[e].takesSecondLayer) base.insert(base.end(), {"--layer2", In("second.png")});
      base.insert(base.end(), settings[e].begin(), settings[e].end());

      struct Output {
        const char* file;
        bool smart;
        SampleKind kind;
      };
      const Output outputs[] = {{"classic.png", false, f.png},
                                {"smart.png", true, f.png},
                                {"classic.exr", false, SampleKind::kExrFloat}};
      for (const Output& o : outputs) {
        std::vector<std::string> args = base;
        args.insert(args.end(), {"--output", Out(o.file)});
        if (o.smart) args.push_back("--smart");
        const Outcome r = Run(args);
        ASSERT_EQ(r.status, 0) << Joined(args) << "\n" << r.err;
        const Image image = ReadImage(Out(o.file));
        EXPECT_EQ(image.kind(), o.kind) << Joined(args);
        EXPECT_EQ(image.width, kWidth) << Joined(args);
        EXPECT_EQ(image.height, kHeight) << Joined(args);
      }
      // Classic and smart render hand the module the same pixels and values.
      const Image classic = ReadImage(Out("classic.png"));
      EXPECT_TRUE(classic.samples == ReadImage(Out("smart.png")).samples)
          << effects[e].name << " " << f.host << " " << f.depth;
      byFormat[std::string(f.host) + f.depth] = ReadImage(Out("classic.exr"));
      ClearOutputs();
    }
    // The same frame in ARGB and in BGRA order comes out the same.
    for (const char* depth : {"8", "32"}) {
      EXPECT_TRUE(byFormat.at(std::string("ae") + depth).samples ==
                  byFormat.at(std::string("premiere") + depth).samples)
          << effects[e].name << " at " << depth << " bits";
    }
  }
}

}  // namespace
