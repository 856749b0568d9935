// Output digests: every built module renders a sweep of parameter settings, frame geometries and
// input contents in all six formats of both hosts, and one line per case gives a 64-bit digest of
// the output pixels. A speed change must leave every line as it was:
//
//   build/default/bin/tavu_output_digest > before.txt   (on the old code)
//   build/default/bin/tavu_output_digest > after.txt    (on the new code)
//   diff <(sed 's/ raw=.*//' before.txt) <(sed 's/ raw=.*//' after.txt)
//
// --modules=DIR loads the modules from DIR instead (a build of the old code, say), and
// --dump=TEXT prints the output pixels' bits of every case whose line contains TEXT, to find
// which pixels differ.
//
// The inputs are made from a fixed seed and hold what the fast paths are most likely to get
// wrong: every integer code, values just outside 0..1, NaN, infinities, negative zero and
// subnormals in float frames, frames narrower and wider than a conversion block, second layers
// smaller than the frame or without pixels, padded and bottom-up rows and a shifted origin.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "bench/param_values.h"
#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/render_services.h"
#include "hostsim/session.h"
#include "hostsim/frame_formats.h"
#include "hostsim/world.h"

using namespace tavu::hostsim;
using tavu::bench::ParamValues;
using tavu::bench::SetParams;

namespace {

using Format = tavu::hostsim::FrameFormat;
const auto& kFormats = tavu::hostsim::kFrameFormats;

// SplitMix64: the same sequence on every machine.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1p-53; }
};

double StoredValue(Layout layout, Random& rng) {
  switch (ChannelSize(layout)) {
    case 1: return static_cast<double>(rng.Next() % 256);
    case 2: return static_cast<double>(rng.Next() % 65536);  // above 32768 too
    default: break;
  }
  static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   -0.0f,
                                   0x1p-140f,
                                   1.0f,
                                   0.5f,
                                   0.0f,
                                   0x1.fffffep-1f,
                                   1e30f,
                                   -1e30f};
  const uint64_t pick = rng.Next() % 100;
  if (pick < 12) return kSpecial[pick % (sizeof kSpecial / sizeof kSpecial[0])];
  return rng.Unit() * 1.6 - 0.3;  // mostly 0..1, some just outside
}

void FillRandom(World& world, uint64_t seed) {
  Random rng{seed};
  world.Fill([&](A_long, A_long) {
    return Channels{StoredValue(world.layout(), rng), StoredValue(world.layout(), rng),
                    StoredValue(world.layout(), rng), StoredValue(world.layout(), rng)};
  });
}

// A gray ramp, so that every lookup position of Color Gray and every threshold band of
// Brightness Check is reached.
void FillRamp(World& world) {
  const double full = FullScale(world.layout());
  const double span = std::max<A_long>(world.width() * world.height() - 1, 1);
  world.Fill([&](A_long x, A_long y) {
    const double v = std::round((y * world.width() + x) / span * full * 1e6) / 1e6;
    const double c = IsFloat(world.layout()) ? v : std::round(v);
    return Channels{full, c, c, c};
  });
}

std::string g_dump;  // --dump

void Dump(const World& world) {
  const std::size_t size = ChannelSize(world.layout());
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const unsigned char* p = world.PixelAddress(x, y);
      std::printf("  %d,%d", static_cast<int>(x), static_cast<int>(y));
      for (std::size_t c = 0; c < 4; ++c) {
        uint32_t bits = 0;
        for (std::size_t b = 0; b < size; ++b) bits |= uint32_t{p[c * size + b]} << (8 * b);
        std::printf(" %0*x", static_cast<int>(2 * size), bits);
      }
      std::printf("\n");
    }
  }
}

// FNV-1a over the output pixels, row by row. `canonicalNan` hashes every float NaN as one value:
// which NaN an operation on two NaN operands yields (its sign and payload) follows the order the
// compiler happens to give the operands of a commutative operation, not the source. The same
// source built at -O2 and at -O3 already differs there, so only the NaN-canonical digest is
// compared across a change; the raw one is printed beside it.
uint64_t Digest(const World& world, bool canonicalNan) {
  uint64_t h = 0xcbf29ce484222325ull;
  const bool isFloat = IsFloat(world.layout());
  const std::size_t bytes = PixelSize(world.layout()) * static_cast<std::size_t>(world.width());
  for (A_long y = 0; y < world.height(); ++y) {
    const unsigned char* p = world.PixelAddress(0, y);
    for (std::size_t i = 0; i < bytes; i += 4) {
      unsigned char word[4] = {p[i], p[i + 1], p[i + 2], p[i + 3]};
      if (isFloat && canonicalNan) {
        uint32_t bits;
        std::memcpy(&bits, word, 4);
        if ((bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0) {
          bits = 0x7FC00000u;
          std::memcpy(word, &bits, 4);
        }
      }
      for (unsigned char b : word) h = (h ^ b) * 0x100000001b3ull;
    }
  }
  return h;
}

// One parameter setting: values by index, and which world each layer parameter names.
enum class Second { Default, Same, Smaller, Larger, NoPixels };
struct Setting {
  std::string name;
  ParamValues values;
  PF_ParamIndex layerIndex = 0;  // 0: the effect has no layer parameter
  Second second = Second::Default;
};

std::vector<Setting> BlendingSettings() {
  std::vector<Setting> out;
  for (int mode = 1; mode <= 29; ++mode) {
    for (int intensity : {1, 5}) {
      for (int channel : {1, 2, 3, 6}) {
        for (int swap : {0, 1}) {
          for (double mix : {100.0, 37.0}) {
            for (Second second : {Second::Same, Second::Smaller}) {
              if (second == Second::Smaller && (intensity != 1 || channel != 1 || mix != 100.0)) {
                continue;
              }
              Setting s;
              s.name = "mode" + std::to_string(mode) + "/i" + std::to_string(intensity) + "/ch" +
                       std::to_string(channel) + "/swap" + std::to_string(swap) + "/mix" +
                       std::to_string(static_cast<int>(mix)) +
                       (second == Second::Smaller ? "/small2" : "");
              s.values = {{2, swap}, {3, mode}, {4, intensity}, {5, channel}, {6, mix}};
              s.layerIndex = 1;
              s.second = second;
              out.push_back(s);
            }
          }
        }
      }
    }
  }
  for (Second second : {Second::Default, Second::Larger, Second::NoPixels}) {
    Setting s;
    s.name = second == Second::Default    ? "default"
             : second == Second::Larger   ? "default/large2"
                                          : "default/nopix2";
    s.layerIndex = 1;
    s.second = second;
    out.push_back(s);
  }
  return out;
}

std::vector<Setting> CombineSettings() {
  const int routes[][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {3, 1, 2, 8}, {8, 7, 6, 5},
                           {4, 4, 4, 1}, {5, 2, 7, 4}, {6, 6, 6, 6}, {1, 1, 1, 1}};
  std::vector<Setting> out;
  for (const auto& r : routes) {
    for (double mix : {100.0, 0.0, 37.0}) {
      for (Second second : {Second::Same, Second::Smaller, Second::Larger, Second::NoPixels}) {
        Setting s;
        s.name = "route" + std::to_string(r[0]) + std::to_string(r[1]) + std::to_string(r[2]) +
                 std::to_string(r[3]) + "/mix" + std::to_string(static_cast<int>(mix)) + "/second" +
                 std::to_string(static_cast<int>(second));
        s.values = {{2, r[0]}, {3, r[1]}, {4, r[2]}, {5, r[3]}, {6, mix}};
        s.layerIndex = 1;
        s.second = second;
        out.push_back(s);
      }
    }
  }
  out.push_back({"default", {}, 1, Second::Default});
  return out;
}

std::vector<Setting> BrightnessSettings(bool premiere) {
  const double scale = premiere ? 255.0 : 1.0;
  const double clamps[][2] = {{1, 0}, {0.6, 0.3}, {0.3, 0.6}, {0, 0}, {1, 1}, {0.5, 0.5}};
  std::vector<Setting> out;
  for (const auto& c : clamps) {
    for (double mix : {100.0, 30.0, 0.0}) {
      for (uint32_t color : {0xFFFF0000u, 0x80123456u}) {
        Setting s;
        s.name = "clamps" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "/mix" +
                 std::to_string(static_cast<int>(mix)) + "/color" +
                 std::to_string(color);
        s.values = {{1, c[0] * scale}, {2, c[1] * scale}, {3, double(color)},
                    {4, double(color ^ 0x00FFFFFFu)}, {5, mix}};
        out.push_back(s);
      }
    }
  }
  out.push_back({"default", {}});
  return out;
}

std::vector<Setting> ColorGraySettings() {
  std::vector<Setting> out;
  for (int source = 1; source <= 3; ++source) {
    for (int lookup = 1; lookup <= 2; ++lookup) {
      for (double mix : {100.0, 37.0}) {
        for (Second second : {Second::Same, Second::Smaller, Second::Larger, Second::NoPixels}) {
          Setting s;
          s.name = "source" + std::to_string(source) + "/lookup" + std::to_string(lookup) +
                   "/mix" + std::to_string(static_cast<int>(mix)) + "/ref" +
                   std::to_string(static_cast<int>(second));
          s.values = {{2, source}, {3, lookup}, {4, mix}};
          s.layerIndex = 1;
          s.second = second;
          out.push_back(s);
        }
      }
    }
  }
  out.push_back({"default", {}, 1, Second::Default});
  return out;
}

struct Geometry {
  const char* name;
  A_long width, height;
  WorldOptions output;
  A_long originX, originY;  // After Effects only; the input is then larger by the origin
};

struct ModuleCase {
  const char* label;
  const char* path;
  std::function<std::vector<Setting>(bool premiere)> settings;
};

void RunModule(const ModuleCase& m, const std::string& dir) {
  Module module(dir.empty() ? std::string(m.path) : dir + "/" + m.label + ".so");
  const Geometry geometries[] = {
      {"g97x13", 97, 13, {}, 0, 0},
      {"g1x5", 1, 5, {}, 0, 0},
      {"g130x4pad", 130, 4, WorldOptions{8, true, 0, {}}, 0, 0},
      {"g40x6origin", 40, 6, {}, 3, 2},
  };
  for (const Format& f : kFormats) {
    Host host(f.app);
    Session session(host, module);
    if (session.Setup() != PF_Err_NONE) {
      std::printf("%s %s setup-failed\n", m.label, f.name);
      continue;
    }
    const bool premiere = f.app == HostApp::Premiere;
    const std::vector<Setting> settings = m.settings(premiere);
    for (const Geometry& g : geometries) {
      if (premiere && (g.originX != 0 || g.originY != 0)) continue;
      for (int content = 0; content < 2; ++content) {
        WorldOptions inOpts;
        inOpts.format = f.code;
        WorldOptions outOpts = g.output;
        outOpts.format = f.code;
        World input(f.layout, g.width + g.originX, g.height + g.originY, inOpts);
        World output(f.layout, g.width, g.height, outOpts);
        World same(f.layout, g.width + g.originX, g.height + g.originY, inOpts);
        World smaller(f.layout, std::max<A_long>(g.width / 2, 1), std::max<A_long>(g.height - 1, 1),
                      inOpts);
        World larger(f.layout, g.width + 7, g.height + 3, inOpts);
        World none = World::NoPixels(f.layout);
        if (content == 0) {
          FillRandom(input, 1 + g.width * 7 + g.height);
        } else {
          FillRamp(input);
        }
        FillRandom(same, 99 + g.width);
        FillRandom(smaller, 5 + g.height);
        FillRamp(larger);
        for (const Setting& s : settings) {
          for (bool smart : {false, true}) {
            if (smart && premiere) continue;
            RenderRequest r{&input, &output, smart};
            r.originX = g.originX;
            r.originY = g.originY;
            SetParams(session, s.values, r);
            if (s.layerIndex != 0) {
              switch (s.second) {
                case Second::Default: break;
                case Second::Same: r.layers[s.layerIndex] = same.def(); break;
                case Second::Smaller: r.layers[s.layerIndex] = smaller.def(); break;
                case Second::Larger: r.layers[s.layerIndex] = larger.def(); break;
                case Second::NoPixels: r.layers[s.layerIndex] = none.def(); break;
              }
            }
            const PF_Err err = session.Render(r);
            char line[512];
            std::snprintf(line, sizeof line, "%s %s %s c%d %s%s err=%d digest=%016llx%s", m.label,
                          f.name, g.name, content, s.name.c_str(), smart ? " smart" : "",
                          static_cast<int>(err),
                          static_cast<unsigned long long>(Digest(output, true)),
                          output.OutsideIntact() ? "" : " OUTSIDE-WRITTEN");
            std::printf("%s raw=%016llx\n", line,
                        static_cast<unsigned long long>(Digest(output, false)));
            if (!g_dump.empty() && std::string(line).find(g_dump) != std::string::npos) {
              Dump(output);
            }
          }
        }
      }
    }
    session.Setdown();
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--modules=", 0) == 0) {
      dir = arg.substr(10);
    } else if (arg.rfind("--dump=", 0) == 0) {
      g_dump = arg.substr(7);
    } else {
      std::fprintf(stderr, "usage: %s [--modules=DIR] [--dump=TEXT]\n", argv[0]);
      return 2;
    }
  }
  const ModuleCase cases[] = {
      {"Mixara", TAVU_MODULE_Mixara, [](bool) { return BlendingSettings(); }},
      {"Mixara_macos", TAVU_MODULE_Mixara_macos, [](bool) { return BlendingSettings(); }},
      {"Chanweave", TAVU_MODULE_Chanweave, [](bool) { return CombineSettings(); }},
      {"Chanweave_macos", TAVU_MODULE_Chanweave_macos, [](bool) { return CombineSettings(); }},
      {"Lumaguard", TAVU_MODULE_Lumaguard, BrightnessSettings},
      {"Lumaguard_macos", TAVU_MODULE_Lumaguard_macos, BrightnessSettings},
      {"Tintmap", TAVU_MODULE_Tintmap, [](bool) { return ColorGraySettings(); }},
      {"Tintmap_macos", TAVU_MODULE_Tintmap_macos, [](bool) { return ColorGraySettings(); }},
  };
  for (const ModuleCase& m : cases) RunModule(m, dir);
  return 0;
}
