// Renders a fixed set of frames through each module given and writes one line per render: the
// effect, host, format, command and parameter values, the command's result and a hash of every
// output pixel. The Windows modules (run under wine) and the native modules compute the same
// arithmetic, so both must write the same file byte for byte.
//   usage: tavu-render-digest [--pixels] OUTPUT_FILE MODULE...
// --pixels adds every output pixel's bytes in hex after each line (NaN bits as they are), to
// find what a mismatch is.
//
// The settings come from the parameters each module declares, not from knowledge of the effect:
// the defaults, every parameter varied on its own across its range (every popup choice, both
// checkbox states, slider ends and an inner value, two colours, the second layer present and
// absent), and a fixed set of mixed settings. The frames hold full-range integers and, in float
// formats, values outside 0..1, infinities, NaN, negative zero and subnormals.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "hostsim/frame_formats.h"
#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"

using namespace tavu::hostsim;

namespace {

constexpr A_long kWidth = 37, kHeight = 23;
// The second layer is smaller than the frame, so part of the frame reads outside it.
constexpr A_long kSecondWidth = 29, kSecondHeight = 17;
constexpr int kMixedSettings = 12;

using Format = FrameFormat;
const auto& kFormats = kFrameFormats;

uint32_t Mix32(uint32_t v) {  // an integer hash, so neighbouring pixels differ in every bit
  v ^= v >> 16;
  v *= 0x7FEB352Du;
  v ^= v >> 15;
  v *= 0x846CA68Bu;
  return v ^ (v >> 16);
}

double ChannelValue(Layout layout, uint32_t seed, A_long x, A_long y, int c) {
  const uint32_t h =
      Mix32(seed ^ Mix32(static_cast<uint32_t>(x) * 131u + static_cast<uint32_t>(y) * 7919u + c));
  if (!IsFloat(layout)) {
    // 16-bit channels run to 32768; a few pixels go past it, as a careless host's might.
    const uint32_t top = layout == Layout::Argb16 ? (h % 16 == 0 ? 65535 : 32768) : 255;
    return h % (top + 1);
  }
  static const double kSpecial[] = {std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    -0.0,
                                    1e-40,  // subnormal in single precision
                                    1.0,
                                    0.5,
                                    -1.5,
                                    3.25};
  if (h % 11 == 0) return kSpecial[(h >> 8) % (sizeof kSpecial / sizeof kSpecial[0])];
  return (static_cast<double>(h >> 8) / (1 << 24)) * 1.6 - 0.3;  // mostly 0..1, some outside
}

void Paint(World& world, uint32_t seed) {
  world.Fill([&](A_long x, A_long y) {
    return Channels{
        ChannelValue(world.layout(), seed, x, y, 0), ChannelValue(world.layout(), seed, x, y, 1),
        ChannelValue(world.layout(), seed, x, y, 2), ChannelValue(world.layout(), seed, x, y, 3)};
  });
}

std::string PixelBytes(const World& world) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const unsigned char* p = world.PixelAddress(x, y);
      text += "  " + std::to_string(x) + "," + std::to_string(y) + " ";
      for (std::size_t i = 0; i < PixelSize(world.layout()); ++i) {
        text += kDigits[p[i] >> 4];
        text += kDigits[p[i] & 15];
      }
      text += "\n";
    }
  }
  return text;
}

// Every byte of the output, except that each NaN of a float world counts as one and the same
// value. Which NaN an operation with two NaN operands returns (and so its sign) depends on the
// order in which the compiler hands the operands to the processor, which C++ leaves to it for
// + and *; the two compilers order some sums differently, and nothing is computed from a NaN's
// bits afterwards (an integer world stores 0 for any NaN).
uint64_t HashPixels(const World& world) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
  const auto add = [&h](const unsigned char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  };
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const unsigned char* p = world.PixelAddress(x, y);
      if (!IsFloat(world.layout())) {
        add(p, PixelSize(world.layout()));
        continue;
      }
      for (int c = 0; c < 4; ++c) {
        float v;
        std::memcpy(&v, p + 4 * c, 4);
        if (std::isnan(v)) v = std::numeric_limits<float>::quiet_NaN();
        unsigned char bytes[4];
        std::memcpy(bytes, &v, 4);
        add(bytes, 4);
      }
    }
  }
  return h;
}

// A parameter setting: values for some parameters, and for layer parameters the world they name.
enum class LayerChoice { Second, None, Self };
struct Setting {
  std::map<PF_ParamIndex, PF_ParamDef> values;
  std::map<PF_ParamIndex, LayerChoice> layers;
  std::string text;
};

// The values worth trying for one parameter, each with its text.
std::vector<std::pair<PF_ParamDef, std::string>> Variants(const PF_ParamDef& def) {
  std::vector<std::pair<PF_ParamDef, std::string>> out;
  PF_ParamDef d = def;
  switch (def.param_type) {
    case PF_Param_POPUP:
      for (A_long v = 1; v <= def.u.pd.num_choices; ++v) {
        d.u.pd.value = v;
        out.push_back({d, std::to_string(v)});
      }
      break;
    case PF_Param_CHECKBOX:
      for (A_long v : {0, 1}) {
        d.u.bd.value = v;
        out.push_back({d, std::to_string(v)});
      }
      break;
    case PF_Param_SLIDER: {
      const A_long lo = def.u.sd.valid_min, hi = def.u.sd.valid_max;
      std::vector<A_long> values;
      if (hi - lo <= 8) {
        for (A_long v = lo; v <= hi; ++v) values.push_back(v);
      } else {
        values = {lo, lo + (hi - lo) / 3, hi};
      }
      for (A_long v : values) {
        d.u.sd.value = v;
        out.push_back({d, std::to_string(v)});
      }
      break;
    }
    case PF_Param_FLOAT_SLIDER: {
      const double lo = def.u.fs_d.valid_min, hi = def.u.fs_d.valid_max;
      for (double v : {lo, lo + (hi - lo) * 0.37, lo + (hi - lo) * 0.8125, hi}) {
        d.u.fs_d.value = v;
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", v);
        out.push_back({d, text});
      }
      break;
    }
    case PF_Param_COLOR:
      for (PF_Pixel px : {PF_Pixel{255, 250, 128, 3}, PF_Pixel{90, 0, 255, 77}}) {
        d.u.cd.value = px;
        out.push_back({d, std::to_string(px.alpha) + "/" + std::to_string(px.red) + "/" +
                              std::to_string(px.green) + "/" + std::to_string(px.blue)});
      }
      break;
    default:
      break;
  }
  return out;
}

std::vector<Setting> Settings(const Session& session) {
  std::vector<PF_ParamDef> defs;
  for (PF_ParamIndex i = 1; i < session.num_params(); ++i) defs.push_back(session.Param(i));
  const auto index = [](std::size_t i) { return static_cast<PF_ParamIndex>(i + 1); };

  std::vector<Setting> settings;
  settings.push_back({{}, {}, "defaults"});
  // The base of the single variations: defaults, with every layer parameter naming the second
  // layer (a layer compared with itself hides most of what an effect does).
  Setting base;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (defs[i].param_type == PF_Param_LAYER) base.layers[index(i)] = LayerChoice::Second;
  }
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (defs[i].param_type == PF_Param_LAYER) {
      for (auto [choice, text] : {std::pair{LayerChoice::None, "none"},
                                  {LayerChoice::Self, "self"},
                                  {LayerChoice::Second, "second"}}) {
        Setting s = base;
        s.layers[index(i)] = choice;
        s.text = "p" + std::to_string(index(i)) + "=" + text;
        settings.push_back(s);
      }
      continue;
    }
    for (const auto& [def, text] : Variants(defs[i])) {
      Setting s = base;
      s.values[index(i)] = def;
      s.text = "p" + std::to_string(index(i)) + "=" + text;
      settings.push_back(s);
    }
  }
  // Mixed settings from a fixed seed; the raw engine output, whose sequence the language fixes.
  std::mt19937 engine(20240611u);
  for (int n = 0; n < kMixedSettings; ++n) {
    Setting s = base;
    s.text = "mixed";
    for (std::size_t i = 0; i < defs.size(); ++i) {
      if (defs[i].param_type == PF_Param_LAYER) continue;
      const auto variants = Variants(defs[i]);
      if (variants.empty()) continue;
      const auto& [def, text] = variants[engine() % variants.size()];
      s.values[index(i)] = def;
      s.text += " p" + std::to_string(index(i)) + "=" + text;
    }
    settings.push_back(s);
  }
  return settings;
}

std::string Hex(uint64_t v, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*" PRIx64, digits, v);
  return text;
}

// Every render of one module, one line each.
std::string DigestModule(const std::string& path, bool pixels) {
  Module module(path);
  const std::string effect = module.Describe().displayName;
  std::string lines;
  for (const Format& f : kFormats) {
    Host host(f.app);
    Session session(host, module);
    if (const PF_Err err = session.Setup()) {
      throw std::runtime_error(path + ": set-up failed with " + std::to_string(err));
    }
    WorldOptions options;
    options.format = f.code;
    World input(f.layout, kWidth, kHeight, options), output(f.layout, kWidth, kHeight, options);
    World second(f.layout, kSecondWidth, kSecondHeight, options);
    Paint(input, 1);
    Paint(second, 2);
    const std::string format =
        std::string(LayoutName(f.layout)) + " " + Hex(static_cast<uint32_t>(output.format()), 8);
    for (const Setting& s : Settings(session)) {
      for (bool smart : {false, true}) {
        RenderRequest request{&input, &output, smart};
        request.params = s.values;
        for (const auto& [index, choice] : s.layers) {
          request.layers[index] = choice == LayerChoice::Second ? second.def()
                                  : choice == LayerChoice::Self ? input.def()
                                                                : nullptr;
        }
        output.Fill([](A_long, A_long) { return Channels{0, 0, 0, 0}; });
        const PF_Err err = session.Render(request);
        lines += effect + " | " + (f.app == HostApp::Premiere ? "premiere " : "aftereffects ") +
                 format + (smart ? " smart" : " classic") + " | " + s.text + " | " +
                 std::to_string(err) + " " + Hex(HashPixels(output), 16) + "\n";
        if (pixels) lines += PixelBytes(output);
      }
    }
    session.Setdown();
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const bool pixels = argc > 1 && std::string(argv[1]) == "--pixels";
  const int first = pixels ? 2 : 1;
  if (argc < first + 2) {
    std::fprintf(stderr, "usage: %s [--pixels] OUTPUT_FILE MODULE...\n", argv[0]);
    return 2;
  }
  try {
    std::string digest;
    for (int i = first + 1; i < argc; ++i) digest += DigestModule(argv[i], pixels);
    // Binary, so the file has the same line ends whichever system writes it.
    std::ofstream out(argv[first], std::ios::binary | std::ios::trunc);
    out << digest;
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[first]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
