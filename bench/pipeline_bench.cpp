// The render pipeline measured on a 3840x2160 frame in each of the six formats, on one thread and
// on all cores, in one run:
//   - memcpy of the frame: what moving the bytes costs at least;
//   - the identity pipeline: the framework with a Process that changes nothing (linked in);
//   - each effect module, loaded from its file and driven through its exports by the simulated
//     host, at its default setting and at a heavy one;
//   - for each effect, a bare loop with the arithmetic of its default setting and no framework.
// After the runs, tables give Mpix/s and the ratios, and for each speed threshold the cases that
// reach it and the figures of those that do not. With
// --table=FILE the tables are also written to FILE as markdown (scripts/bench.sh).
//
// All cores: After Effects frames run their rows on every core through the iterate suite;
// Premiere Pro walks a frame on the render's own thread, so all cores there means one frame per
// core rendered at once, as Premiere Pro renders several frames in parallel.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bare_loops.h"
#include "bench/param_values.h"
#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/render_services.h"
#include "hostsim/session.h"
#include "hostsim/frame_formats.h"
#include "hostsim/world.h"

extern "C" PF_Err EffectMain(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

using namespace tavu::hostsim;
using namespace tavu::bench;

namespace {

constexpr A_long kWidth = 3840, kHeight = 2160;
constexpr double kMpix = kWidth * double{kHeight} / 1e6;

using Format = tavu::hostsim::FrameFormat;
const auto& kFormats = tavu::hostsim::kFrameFormats;

using BareFunc = void (*)(const BareFrame&);
// A bare loop per stored pixel type, in the order of Layout's values.
struct BareLoops {
  BareFunc byLayout[5];
};
#define TAVU_BARE_LOOPS(loop)                                                    \
  BareLoops {                                                                    \
    {                                                                            \
      loop<PF_Pixel>, loop<PF_Pixel16>, loop<PF_PixelFloat>, loop<BgraPixel8>,   \
          loop<BgraPixelFloat>                                                   \
    }                                                                            \
  }

struct EffectCase {
  const char* name;
  const char* module;
  const char* heavyLabel;
  ParamValues heavy;          // After Effects
  ParamValues heavyPremiere;  // Premiere Pro, where its sliders differ
  BareLoops bare;
};

const EffectCase kEffects[] = {
    {"Blending", TAVU_MODULE_Mixara, "Luminosity, Intensity 5", {{3, 29}, {4, 5}},
     {{3, 29}, {4, 5}}, TAVU_BARE_LOOPS(BareBlending)},
    {"Combine RGBA", TAVU_MODULE_Chanweave, "every channel from Input2",
     {{2, 5}, {3, 6}, {4, 7}, {5, 8}}, {{2, 5}, {3, 6}, {4, 7}, {5, 8}},
     TAVU_BARE_LOOPS(BareCombine)},
    {"Brightness Check", TAVU_MODULE_Lumaguard, "both thresholds active", {{1, 0.6}, {2, 0.3}},
     {{1, 153}, {2, 77}}, TAVU_BARE_LOOPS(BareBrightness)},
    {"Color Gray", TAVU_MODULE_Tintmap, "Lightness, Top-Bottom", {{2, 3}, {3, 2}}, {{2, 3}, {3, 2}},
     TAVU_BARE_LOOPS(BareColorGray)},
};

int AllCores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

// The frames of the format being measured: one input and an output per core, kept between
// benchmarks of the same format (a host reuses its buffers too) and dropped for the next format.
// Each registered benchmark holds its own copy of the Format, so the format is known by the name,
// which every copy shares with the kFrameFormats entry.
struct Frames {
  const char* format = nullptr;
  std::unique_ptr<World> input;
  std::vector<World> outputs;
};

Frames& FramesFor(const Format& f) {
  static Frames frames;
  if (frames.format == f.name) return frames;
  frames = Frames{};
  WorldOptions options;
  options.format = f.code;
  frames.input = std::make_unique<World>(f.layout, kWidth, kHeight, options);
  // Gradients in every channel, opaque: a mix of bright, dark and coloured pixels.
  const double scale = FullScale(f.layout) / 255.0;
  frames.input->Fill([scale](A_long x, A_long y) {
    return Channels{255.0 * scale, (x % 256) * scale, (y % 256) * scale, ((x + y) % 256) * scale};
  });
  for (int i = 0; i < AllCores(); ++i) {
    frames.outputs.emplace_back(f.layout, kWidth, kHeight, options);
  }
  frames.format = f.name;
  return frames;
}

// Renders through a module's exports (or the linked-in identity effect when `module` is null).
void Render(benchmark::State& state, const Format& f, int threads, const char* module,
            const ParamValues* values) {
  Frames& frames = FramesFor(f);
  std::unique_ptr<Module> loaded;
  if (module != nullptr) loaded = std::make_unique<Module>(module);
  Host host(f.app);
  host.render().iterate.set_threads(f.app == HostApp::AfterEffects ? threads : 1);
  Session session = loaded ? Session(host, *loaded) : Session(host, EffectMain);
  if (session.Setup() != PF_Err_NONE) {
    state.SkipWithError("setup");
    return;
  }
  if (session.sequence_data() == nullptr) session.set_sequence_data(host.NewHandle(64));
  const int count = f.app == HostApp::Premiere ? threads : 1;
  std::vector<RenderRequest> requests;
  for (int i = 0; i < count; ++i) {
    RenderRequest r{frames.input.get(), &frames.outputs[i]};
    if (values != nullptr) SetParams(session, *values, r);
    requests.push_back(r);
  }
  for (auto _ : state) {
    if (count == 1) {
      if (session.Render(requests[0]) != PF_Err_NONE) state.SkipWithError("render");
    } else {
      std::vector<std::thread> pool;
      for (int i = 0; i < count; ++i) {
        pool.emplace_back([&, i] { session.Render(requests[i]); });
      }
      for (auto& t : pool) t.join();
    }
    benchmark::ClobberMemory();
  }
  session.Setdown();
  state.counters["Mpix/s"] =
      benchmark::Counter(kMpix * count, benchmark::Counter::kIsIterationInvariantRate);
}

// Bands of rows, one per thread: the bare loops' way of using all cores.
template <class Body>
void OnThreads(int threads, const Body& body) {
  if (threads == 1) {
    body(0, int64_t{kHeight});
    return;
  }
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&, i] {
      body(kHeight * int64_t{i} / threads, kHeight * int64_t{i + 1} / threads);
    });
  }
  for (auto& t : pool) t.join();
}

void Bare(benchmark::State& state, const Format& f, int threads, BareFunc loop) {
  Frames& frames = FramesFor(f);
  // Mix 100 %, as the effects' blocks hold it; read at run time so nothing folds it away.
  volatile float mixValue = 1.0f;
  const float mix = mixValue;
  for (auto _ : state) {
    OnThreads(threads, [&](int64_t first, int64_t end) {
      loop(BareFrame{frames.input->def(), frames.input->def(), frames.outputs[0].def(), mix, first,
                     end});
    });
    benchmark::ClobberMemory();
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(kMpix, benchmark::Counter::kIsIterationInvariantRate);
}

void Memcpy(benchmark::State& state, const Format& f, int threads) {
  Frames& frames = FramesFor(f);
  const std::size_t rowBytes = std::size_t{kWidth} * PixelSize(f.layout);
  const unsigned char* src = frames.input->PixelAddress(0, 0);
  unsigned char* dst = frames.outputs[0].PixelAddress(0, 0);
  for (auto _ : state) {
    OnThreads(threads, [&](int64_t first, int64_t end) {
      std::memcpy(dst + first * rowBytes, src + first * rowBytes, (end - first) * rowBytes);
    });
    benchmark::ClobberMemory();
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(kMpix, benchmark::Counter::kIsIterationInvariantRate);
}

// Collects each benchmark's Mpix/s for the closing tables: with repetitions, the best one. A
// machine shared with other work only ever slows a run down, so the fastest repetition is the
// closest to what the code does on its own.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type == Run::RT_Aggregate) continue;
      auto it = r.counters.find("Mpix/s");
      std::string name = r.benchmark_name();
      const std::string suffix = "/real_time";
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.erase(name.size() - suffix.size());
      }
      if (it != r.counters.end()) mpix[name] = std::max(mpix[name], it->second.value);
    }
  }
  double Get(const std::string& name) const {
    const auto it = mpix.find(name);
    return it == mpix.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> mpix;
};

std::string Threads(int n) { return "/threads:" + std::to_string(n); }

std::string Fixed(double v, int digits) {
  if (v <= 0.0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

void Register(const std::string& name, void (*fn)(benchmark::State&, const Format&, int,
                                                  const char*, const ParamValues*),
              const Format& f, int threads, const char* module, const ParamValues* values) {
  benchmark::RegisterBenchmark(name.c_str(), fn, f, threads, module, values)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

bool Is8Bit(const Format& f) { return ChannelSize(f.layout) == 1; }

// One threshold in one case: which threshold, where, the figure, and whether it is reached.
struct Check {
  std::string target;
  std::string where;
  std::string figure;
  bool met;
};

std::string Tables(const TableReporter& r, int cores, std::vector<Check>& checks) {
  std::string md;
  const std::string all = Threads(cores), one = Threads(1);
  const double scalingTarget = std::min(6.0, 0.75 * cores);

  md += "Frame memcpy and the identity pipeline (Mpix/s; ratios are time over memcpy's time):\n\n";
  md += "| format | memcpy 1 thread | memcpy " + std::to_string(cores) +
        " threads | identity 1 thread | identity " + std::to_string(cores) +
        " threads | identity scaling | identity / memcpy, 1 thread |\n";
  md += "|---|---:|---:|---:|---:|---:|---:|\n";
  for (const Format& f : kFormats) {
    const double m1 = r.Get("memcpy/" + std::string(f.name) + one);
    const double mN = r.Get("memcpy/" + std::string(f.name) + all);
    const double i1 = r.Get("identity/" + std::string(f.name) + one);
    const double iN = r.Get("identity/" + std::string(f.name) + all);
    md += "| " + std::string(f.name) + " | " + Fixed(m1, 0) + " | " + Fixed(mN, 0) + " | " +
          Fixed(i1, 0) + " | " + Fixed(iN, 0) + " | " + Fixed(i1 > 0 ? iN / i1 : 0, 1) + "x | " +
          Fixed(i1 > 0 ? m1 / i1 : 0, 2) + " |\n";
    if (Is8Bit(f)) {
      checks.push_back({"identity, 8 bits, one thread >= 400 Mpix/s", f.name, Fixed(i1, 0),
                        i1 >= 400});
    }
    if (IsFloat(f.layout)) {
      checks.push_back({"identity, float, one thread within 2x of memcpy", f.name,
                        Fixed(i1 > 0 ? m1 / i1 : 0, 2) + "x", i1 > 0 && m1 / i1 <= 2.0});
    }
    checks.push_back({"identity, all cores >= " + Fixed(scalingTarget, 1) + "x one thread",
                      f.name, Fixed(i1 > 0 ? iN / i1 : 0, 1) + "x",
                      i1 > 0 && iN / i1 >= scalingTarget});
  }

  md += "\nEffects through their modules (Mpix/s; scaling is all cores over one thread; bare is "
        "the default setting's arithmetic without the framework, and the last column the "
        "framework's time over the bare loop's, one thread):\n\n";
  const std::string n = std::to_string(cores);
  md += "| effect | format | default 1 thread | default " + n +
        " threads | scaling | heavy 1 thread | heavy " + n +
        " threads | scaling | bare 1 thread | bare " + n +
        " threads | scaling | default / bare |\n";
  md += "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const EffectCase& e : kEffects) {
    for (const Format& f : kFormats) {
      const std::string base = std::string(e.name) + "/";
      const double d1 = r.Get(base + "default/" + f.name + one);
      const double dN = r.Get(base + "default/" + f.name + all);
      const double h1 = r.Get(base + "heavy/" + f.name + one);
      const double hN = r.Get(base + "heavy/" + f.name + all);
      const double b1 = r.Get("bare/" + std::string(e.name) + "/" + f.name + one);
      const double bN = r.Get("bare/" + std::string(e.name) + "/" + f.name + all);
      const double overhead = d1 > 0 ? b1 / d1 : 0;
      md += "| " + std::string(e.name) + " | " + f.name + " | " + Fixed(d1, 0) + " | " +
            Fixed(dN, 0) + " | " + Fixed(d1 > 0 ? dN / d1 : 0, 1) + "x | " + Fixed(h1, 1) +
            " | " + Fixed(hN, 1) + " | " + Fixed(h1 > 0 ? hN / h1 : 0, 1) + "x | " +
            Fixed(b1, 0) + " | " + Fixed(bN, 0) + " | " + Fixed(b1 > 0 ? bN / b1 : 0, 1) +
            "x | " + Fixed(overhead, 2) + " |\n";
      const std::string where = std::string(e.name) + " " + f.name;
      checks.push_back({"default, one thread, within 1.25x of the bare loop", where,
                        Fixed(overhead, 2) + "x", d1 > 0 && overhead <= 1.25});
      if (Is8Bit(f)) {
        checks.push_back(
            {"default, 8 bits, one thread >= 100 Mpix/s", where, Fixed(d1, 0), d1 >= 100});
      }
      const std::string scaling = "all cores >= " + Fixed(scalingTarget, 1) + "x one thread";
      checks.push_back({"default, " + scaling, where, Fixed(d1 > 0 ? dN / d1 : 0, 1) + "x",
                        d1 > 0 && dN / d1 >= scalingTarget});
      checks.push_back({"heavy, " + scaling, where, Fixed(h1 > 0 ? hN / h1 : 0, 1) + "x",
                        h1 > 0 && hN / h1 >= scalingTarget});
      if (std::string(e.name) == "Blending") {
        checks.push_back({"heavy Blending >= 10 Mpix/s per thread", where, Fixed(h1, 1),
                          h1 >= 10});
      }
    }
  }
  md += "\nHeavy settings:";
  for (const EffectCase& e : kEffects) {
    md += std::string(&e == kEffects ? " " : "; ") + e.name + ": " + e.heavyLabel;
  }
  md += ".\n";
  return md;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string tableFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--table=", 0) == 0) {
      tableFile = arg.substr(8);
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  const int cores = AllCores();
  const std::vector<int> threadCounts =
      cores > 1 ? std::vector<int>{1, cores} : std::vector<int>{1};
  // Format outermost: the frames are made once per format.
  for (const Format& f : kFormats) {
    for (int threads : threadCounts) {
      const std::string suffix = std::string(f.name) + Threads(threads);
      benchmark::RegisterBenchmark(("memcpy/" + suffix).c_str(), Memcpy, f, threads)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      Register("identity/" + suffix, Render, f, threads, nullptr, nullptr);
    }
    for (const EffectCase& e : kEffects) {
      for (int threads : threadCounts) {
        benchmark::RegisterBenchmark(
            ("bare/" + std::string(e.name) + "/" + f.name + Threads(threads)).c_str(), Bare, f,
            threads, e.bare.byLayout[static_cast<int>(f.layout)])
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
      }
      const ParamValues* heavy = f.app == HostApp::Premiere ? &e.heavyPremiere : &e.heavy;
      for (int threads : threadCounts) {
        const std::string suffix = std::string(f.name) + Threads(threads);
        Register(std::string(e.name) + "/default/" + suffix, Render, f, threads, e.module,
                 nullptr);
        Register(std::string(e.name) + "/heavy/" + suffix, Render, f, threads, e.module, heavy);
      }
    }
  }
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::vector<Check> checks;
  std::string md = Tables(reporter, cores, checks);
  // How far work without any framework scales here: the ceiling for the all-cores thresholds.
  double lo = 1e9, hi = 0;
  auto widen = [&](double one, double many) {
    if (one > 0 && many > 0) lo = std::min(lo, many / one), hi = std::max(hi, many / one);
  };
  const std::string one = Threads(1), all = Threads(cores);
  for (const Format& f : kFormats) {
    const std::string name = f.name;
    widen(reporter.Get("memcpy/" + name + one), reporter.Get("memcpy/" + name + all));
    for (const EffectCase& e : kEffects) {
      widen(reporter.Get("bare/" + std::string(e.name) + "/" + name + one),
            reporter.Get("bare/" + std::string(e.name) + "/" + name + all));
    }
  }
  if (hi > 0) {
    md += "\nWithout the framework, memcpy and the bare loops scale " + Fixed(lo, 1) + "x to " +
          Fixed(hi, 1) + "x from one thread to " + std::to_string(cores) + " on this machine.\n";
  }

  // One line per threshold, in the order first checked: how many cases reach it, and the
  // figures of the others.
  md += "\nThresholds, and the cases that reach them:\n\n";
  std::vector<std::string> order;
  for (const Check& c : checks) {
    if (std::find(order.begin(), order.end(), c.target) == order.end()) order.push_back(c.target);
  }
  for (const std::string& target : order) {
    int cases = 0, met = 0;
    std::string missed;
    for (const Check& c : checks) {
      // A figure that was not measured (a filtered run) counts neither way.
      if (c.target != target || c.figure.rfind("-", 0) == 0) continue;
      ++cases;
      if (c.met) {
        ++met;
      } else {
        missed += (missed.empty() ? "" : ", ") + c.where + " " + c.figure;
      }
    }
    if (cases == 0) continue;
    md += "- " + target + ": " + std::to_string(met) + " of " + std::to_string(cases) +
          (missed.empty() ? "" : "; the others: " + missed) + "\n";
  }
  std::printf("\n%s", md.c_str());
  if (!tableFile.empty()) {
    if (FILE* out = std::fopen(tableFile.c_str(), "w")) {
      std::fputs(md.c_str(), out);
      std::fclose(out);
    } else {
      std::fprintf(stderr, "cannot write %s\n", tableFile.c_str());
      return 1;
    }
  }
  benchmark::Shutdown();
  return 0;
}
