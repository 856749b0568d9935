// tavu-render: the command-line host. Loads a module, plays After Effects or Premiere Pro through
// the whole command sequence on the simulated host and reads and writes image files; see kUsage
// and the README for the command line.
//
// Exit status: 0 done, 1 file error, 2 usage or parameter error, 3 the module returned an error
// code for a command. Nothing is written to --output unless every command succeeded.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"
#include "hostsim/terminal_text.h"
#include "hostsim/world.h"
#include "tools/atomic_file.h"
#include "tools/cli_params.h"
#include "tools/image_io.h"
#include "tools/layer_worlds.h"
#include "tools/module_files.h"
#include "tools/render_options.h"

namespace tavu::render {
namespace {

using hostsim::HostApp;
using hostsim::Session;
using hostsim::TerminalText;
using hostsim::World;

enum ExitStatus { kDone = 0, kFileError = 1, kUsageError = 2, kModuleError = 3 };

// A command the module answered with an error code, or a call the module got wrong.
class ModuleError : public std::runtime_error {
 public:
  explicit ModuleError(const std::string& message) : std::runtime_error(message) {}
  ModuleError(const std::string& command, PF_Err code, const std::string& said)
      : std::runtime_error("the module returned error " + std::to_string(code) + " for " + command +
                           (said.empty() ? "" : " (it says: \"" + said + "\")")) {}
};

const char* CommandName(PF_Cmd cmd) {
  switch (cmd) {
    case PF_Cmd_ABOUT: return "PF_Cmd_ABOUT";
    case PF_Cmd_GLOBAL_SETUP: return "PF_Cmd_GLOBAL_SETUP";
    case PF_Cmd_GLOBAL_SETDOWN: return "PF_Cmd_GLOBAL_SETDOWN";
    case PF_Cmd_PARAMS_SETUP: return "PF_Cmd_PARAMS_SETUP";
    case PF_Cmd_SEQUENCE_SETUP: return "PF_Cmd_SEQUENCE_SETUP";
    case PF_Cmd_SEQUENCE_SETDOWN: return "PF_Cmd_SEQUENCE_SETDOWN";
    case PF_Cmd_RENDER: return "PF_Cmd_RENDER";
    case PF_Cmd_SMART_PRE_RENDER: return "PF_Cmd_SMART_PRE_RENDER";
    case PF_Cmd_SMART_RENDER: return "PF_Cmd_SMART_RENDER";
    default: return "a command";
  }
}

// The module's text in the message buffer, which it may fill to the end without a NUL.
std::string_view ReturnMessage(const PF_OutData& out) {
  return {out.return_msg, strnlen(out.return_msg, sizeof out.return_msg)};
}

// The message the module left for the user with its error, if it left one, safe to print.
std::string ErrorMessage(const PF_OutData& out) {
  if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) == 0) return "";
  return TerminalText(ReturnMessage(out));
}

void Check(PF_Cmd cmd, PF_Err err, const PF_OutData* out = nullptr) {
  if (err != PF_Err_NONE) throw ModuleError(CommandName(cmd), err, out ? ErrorMessage(*out) : "");
}

std::string Hex(A_u_long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
  return buf;
}

// A code whose first character is in the highest byte, as the plug-in kind is.
std::string FourCharCode(A_u_long v) {
  std::string code = "'";
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((v >> shift) & 0xFF);
    code += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return code + "' (" + Hex(v) + ")";
}

// The host's version word: major in bits 19..24, minor 15..18, bug fix 11..14, stage 9..10
// (develop, alpha, beta, release), build 0..8.
std::string VersionText(A_u_long word) {
  static const char* const kStages[] = {"develop", "alpha", "beta", "release"};
  char buf[96];
  std::snprintf(buf, sizeof buf, "%u.%u.%u %s build %u (%s)", (word >> 19) & 0x3F,
                (word >> 15) & 0xF, (word >> 11) & 0xF, kStages[(word >> 9) & 0x3], word & 0x1FF,
                Hex(word).c_str());
  return buf;
}

const char* HostName(HostApp app) {
  return app == HostApp::Premiere ? "Premiere Pro" : "After Effects";
}

// What the module declared in PF_Cmd_PARAMS_SETUP, indexed from 1 as the renderer keeps them.
std::vector<PF_ParamDef> DeclaredParams(const hostsim::Host& host) {
  std::vector<PF_ParamDef> params(1);
  params.insert(params.end(), host.added_params.begin(), host.added_params.end());
  return params;
}

void PrintAbout(Session& session, const hostsim::PluginInfo& info, HostApp app) {
  Check(PF_Cmd_ABOUT, session.Send(PF_Cmd_ABOUT), &session.host().out_data);
  const std::string_view said = ReturnMessage(session.host().out_data);
  // The host separates lines by a carriage return alone; every other control character in a
  // line is shown escaped.
  std::string text;
  for (std::size_t start = 0; start <= said.size();) {
    const std::size_t end = std::min(said.find('\r', start), said.size());
    text += (start == 0 ? "" : "\n") + TerminalText(said.substr(start, end - start));
    start = end + 1;
  }
  if (text.empty()) text = "(no About text from this host)";
  const PF_OutData& global = session.global_setup_answer();
  std::cout << text << "\n\n"
            << "display name:  " << TerminalText(info.displayName) << "\n"
            << "match name:    " << TerminalText(info.matchName) << "\n"
            << "category:      " << TerminalText(info.category) << "\n"
            << "entry point:   " << TerminalText(info.entryPoint) << "\n"
            << "kind:          " << FourCharCode(static_cast<A_u_long>(info.kind)) << "\n"
            << "API version:   " << info.apiMajor << "." << info.apiMinor << "\n"
            << "host:          " << HostName(app) << "\n"
            << "version:       " << VersionText(global.my_version) << "\n"
            << "out_flags:     " << Hex(static_cast<A_u_long>(global.out_flags)) << "\n"
            << "out_flags2:    " << Hex(static_cast<A_u_long>(global.out_flags2)) << "\n";
}

void PrintParams(const Session& session) {
  const std::vector<PF_ParamDef> params = DeclaredParams(session.host());
  for (std::size_t i = 1; i < params.size(); ++i) {
    std::cout << DescribeParam(static_cast<int>(i), params[i]) << "\n";
  }
}

// A host renders at a depth, or through smart render, only for a module that declared it can.
void RequireCapabilities(const Options& o, const PF_OutData& global) {
  if (o.host == HostApp::AfterEffects && o.depth == 16 &&
      (global.out_flags & PF_OutFlag_DEEP_COLOR_AWARE) == 0) {
    throw UsageError("the module does not declare 16-bit rendering (PF_OutFlag_DEEP_COLOR_AWARE)");
  }
  if (o.host == HostApp::AfterEffects && o.depth == 32 &&
      (global.out_flags2 & PF_OutFlag2_FLOAT_COLOR_AWARE) == 0) {
    throw UsageError("the module does not declare float rendering (PF_OutFlag2_FLOAT_COLOR_AWARE)");
  }
  if (o.smart && (global.out_flags2 & PF_OutFlag2_SUPPORTS_SMART_RENDER) == 0) {
    throw UsageError(
        "the module does not declare smart render (PF_OutFlag2_SUPPORTS_SMART_RENDER)");
  }
}

// What a render holds at once, for the message when memory runs out: known from the layer files'
// headers, before their worlds are allocated.
struct FrameSize {
  A_long width = 0, height = 0;
  A_long secondWidth = 0, secondHeight = 0;  // the second layer's, when it is a file of its own
  std::int64_t wholeImageBytes = 0;  // the most a layer file holds decoded whole (ImageReader's)
  bool readingHeader = false;        // a layer file's header is being read: its size is unknown
};

// About what a frame of this size needs at this depth: the input and output worlds, the second
// layer's world and a layer file decoded whole (others are decoded and written a row at a time).
std::int64_t NeededMiB(const FrameSize& frame, int depth) {
  const std::int64_t bytesPerPixel = 4 * (depth == 8 ? 1 : depth == 16 ? 2 : 4);
  const std::int64_t pixels = std::int64_t{frame.width} * frame.height;
  const std::int64_t secondPixels = std::int64_t{frame.secondWidth} * frame.secondHeight;
  const std::int64_t bytes =
      (2 * pixels + secondPixels) * bytesPerPixel + frame.wholeImageBytes;
  return (bytes + (std::int64_t{1} << 20) - 1) >> 20;
}

// `reading` is the image reader's own message when memory ran out while reading a file.
std::string OutOfMemoryMessage(const Options& o, const FrameSize& frame,
                               const std::string& reading = "") {
  // No estimate can count a layer whose header is not read yet: the file and what was being read
  // of it are told instead.
  if (frame.readingHeader && !reading.empty()) return reading;
  if (frame.width == 0) return "out of memory";
  return "out of memory: a " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
         " frame at " + std::to_string(o.depth) + " bits needs about " +
         std::to_string(NeededMiB(frame, o.depth)) + " MiB";
}

// Of a multipart OpenEXR file, the part read is told: it need not be the first. The layer's size
// is stored from its header before its pixels are read or its world is allocated. The file is read
// on the run's threads (0: one for each core).
LayerFile ReadLayer(const std::string& path, int threads, hostsim::Layout layout, FrameSize& size,
                    A_long* width, A_long* height) {
  size.readingHeader = true;
  ImageReader reader(path, threads);
  size.readingHeader = false;
  *width = reader.width();
  *height = reader.height();
  size.wholeImageBytes = std::max(size.wholeImageBytes, reader.wholeImageBytes());
  LayerFile layer = ReadLayerFile(reader, layout);
  if (!layer.part.empty()) std::cout << path << ": read " << layer.part << "\n";
  return layer;
}

// Both names lead to one file, so the layer's world can serve as the second layer too.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

// The render itself, between set-up and set-down; returns the finished output world. `size`
// learns the frame's size as the layers are opened; `windows` receives the input layer's OpenEXR
// windows, where the output goes back to.
World RenderFrame(const Options& o, Session& session, FrameSize& size,
                  std::optional<ExrWindows>* windows) {
  RequireCapabilities(o, session.global_setup_answer());

  std::vector<PF_ParamDef> params = DeclaredParams(session.host());
  for (const std::string& setting : o.settings) {
    const SetResult result = ApplySetting(setting, params);
    if (!result.ok) throw UsageError(result.message);
  }
  // --layer2 feeds the first layer parameter after the input; 0: the module declares none.
  PF_ParamIndex layerParam = 0;
  for (std::size_t i = 1; i < params.size() && layerParam == 0; ++i) {
    if (params[i].param_type == PF_Param_LAYER) layerParam = static_cast<PF_ParamIndex>(i);
  }
  if (layerParam == 0 && o.layer2.source != SecondLayer::Source::kDefault) {
    throw UsageError("--layer2: the module declares no layer parameter");
  }

  const hostsim::Layout layout = LayoutFor(o.host, o.depth);
  const int threads = o.threads.value_or(0);
  LayerFile layer = ReadLayer(o.layer, threads, layout, size, &size.width, &size.height);
  World& input = layer.world;
  *windows = layer.windows;
  // A second layer from the layer's own file shares its world instead of holding a copy.
  const bool secondIsLayer = o.layer2.source == SecondLayer::Source::kFile &&
                             SameFile(o.layer2.path, o.layer);
  std::optional<World> second;
  if (o.layer2.source == SecondLayer::Source::kFile && !secondIsLayer) {
    second =
        ReadLayer(o.layer2.path, threads, layout, size, &size.secondWidth, &size.secondHeight)
            .world;
  }
  World output(layout, input.width(), input.height());

  hostsim::RenderRequest request(&input, &output, o.smart);
  for (std::size_t i = 1; i < params.size(); ++i) {
    if (params[i].param_type != PF_Param_LAYER)
      request.params[static_cast<PF_ParamIndex>(i)] = params[i];
  }
  // Without an entry the host serves the parameter's default, the layer itself.
  if (second) request.layers[layerParam] = second->def();
  if (secondIsLayer) request.layers[layerParam] = input.def();
  if (o.layer2.source == SecondLayer::Source::kNone) request.layers[layerParam] = nullptr;

  if (o.smart) {
    // The host asks for the whole frame; the input layer covers exactly that.
    const PF_LRect frame{0, 0, input.width(), input.height()};
    hostsim::Host& host = session.host();
    host.prerender.answer = PF_CheckoutResult{};
    host.prerender.answer.result_rect = frame;
    host.prerender.answer.max_result_rect = frame;
    PF_RenderRequest wanted{};
    wanted.rect = frame;
    wanted.channel_mask = 0xF;  // alpha, red, green and blue
    PF_PreRenderExtra* extra = host.prerender.Prepare(wanted, PF_LRect{}, PF_LRect{});
    extra->input->bitdepth = static_cast<A_short>(o.depth);
    PF_OutData answer{};
    Check(PF_Cmd_SMART_PRE_RENDER, session.PreRender(request, extra, &answer), &answer);
  }
  PF_OutData answer{};
  Check(o.smart ? PF_Cmd_SMART_RENDER : PF_Cmd_RENDER, session.Render(request, &answer), &answer);
  return output;
}

// The module file --module names. A name without a folder is a file in the working folder, not
// a library for the loader to look up on the system's search path.
std::string ModulePath(const std::string& named) {
  return named.find('/') == std::string::npos ? "./" + named : named;
}

int RunWith(const Options& o, FrameSize& frame) {
  // An output that cannot be written is refused before the module and the layers are loaded.
  if (o.mode == Mode::kRender) CheckOutputWritable(o.output);
  const std::string path =
      o.module.empty() ? ModuleForEffect(o.effect).string() : ModulePath(o.module);
  // A module file that cannot be loaded throws std::runtime_error: a file error.
  hostsim::Module module(path);
  PF_Err err = PF_Err_NONE;
  const hostsim::PluginInfo info = module.Describe(&err);
  if (!info.refused.empty()) {
    throw ModuleError("the module's PluginDataEntryFunction passed " + info.refused +
                      " to the host's registration callback, which refused it with error " +
                      std::to_string(PF_Err_BAD_CALLBACK_PARAM));
  }
  if (err != PF_Err_NONE) throw ModuleError("PluginDataEntryFunction", err, "");

  hostsim::Host host(o.host);
  if (o.threads) host.render().iterate.set_threads(*o.threads);
  Session session(host, module);
  PF_Cmd failed = PF_Cmd_GLOBAL_SETUP;
  const PF_Err setup = session.Setup(&failed);
  Check(failed, setup, &host.out_data);

  // Set-down follows set-up whatever happens between them; the first failure is the one told.
  std::optional<World> output;
  std::optional<ExrWindows> windows;
  std::exception_ptr failure;
  try {
    switch (o.mode) {
      case Mode::kAbout: PrintAbout(session, info, o.host); break;
      case Mode::kListParams: PrintParams(session); break;
      default: output = RenderFrame(o, session, frame, &windows); break;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  PF_OutData setdownAnswer{};
  const PF_Err setdown = session.Setdown(&failed, &setdownAnswer);
  if (failure) std::rethrow_exception(failure);
  Check(failed, setdown, &setdownAnswer);

  if (output) {
    WriteWorldFile(o.output, *output, windows, o.threads.value_or(0));
    std::cout << o.output << ": " << output->width() << "x" << output->height() << ", "
              << TerminalText(info.displayName) << ", " << HostName(o.host) << ", " << o.depth
              << " bits, " << (o.smart ? "smart render" : "render") << "\n";
  }
  return kDone;
}

int Run(const Options& o) {
  FrameSize frame;
  try {
    return RunWith(o, frame);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error(OutOfMemoryMessage(o, frame));
  } catch (const ImageError& e) {
    // The image reader turns memory running out into an error of its own kind.
    if (e.kind() != ImageErrorKind::kOutOfMemory) throw;
    throw std::runtime_error(OutOfMemoryMessage(o, frame, e.what()));
  }
}

int Fail(int status, const std::string& message) {
  std::cout.flush();
  std::cerr << "tavu-render: " << message << "\n";
  return status;
}

}  // namespace
}  // namespace tavu::render

int main(int argc, char** argv) {
  using namespace tavu::render;
  // An interrupted run removes the output file it was writing; the earlier output stays.
  RemovePendingFilesOnSignals();
  Options options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    return Fail(kUsageError, std::string(e.what()) + "\n" + kUsage);
  }
  try {
    if (options.mode == Mode::kHelp) {
      std::cout << kUsage;
      return kDone;
    }
    return Run(options);
  } catch (const UsageError& e) {
    return Fail(kUsageError, e.what());
  } catch (const ModuleError& e) {
    return Fail(kModuleError, e.what());
  } catch (const std::bad_alloc&) {
    return Fail(kFileError, "out of memory");
  } catch (const std::exception& e) {
    // An image file (ImageError) or the module file that cannot serve, or memory that ran out.
    return Fail(kFileError, e.what());
  }
}
