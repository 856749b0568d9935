// The render pipeline with an identity Process on a 3840x2160 frame in each layout, on one thread
// and on all cores, beside a memcpy of the same frame in the same run. After the runs a table
// gives Mpix/s and the ratio of each pipeline to its memcpy.
//
// All cores: After Effects frames run their rows on every core through the iterate suite;
// Premiere Pro frames are walked on the render's own thread, so all cores there means one frame
// per core rendered at once, as Premiere Pro renders several frames in parallel.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/render_services.h"
#include "hostsim/session.h"
#include "hostsim/world.h"

extern "C" PF_Err EffectMain(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

using namespace tavu::hostsim;

namespace {

constexpr A_long kWidth = 3840, kHeight = 2160;
constexpr double kMpix = kWidth * double{kHeight} / 1e6;

struct LayoutCase {
  const char* name;
  HostApp app;
  Layout layout;
};
const LayoutCase kCases[] = {
    {"ae/argb8", HostApp::AfterEffects, Layout::Argb8},
    {"ae/argb16", HostApp::AfterEffects, Layout::Argb16},
    {"ae/argb32f", HostApp::AfterEffects, Layout::ArgbFloat},
    {"pr/bgra8", HostApp::Premiere, Layout::Bgra8},
    {"pr/bgra32f", HostApp::Premiere, Layout::BgraFloat},
};

int AllCores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

void Pipeline(benchmark::State& state, const LayoutCase& c, int threads) {
  Host host(c.app);
  host.render().iterate.set_threads(c.app == HostApp::AfterEffects ? threads : 1);
  Session session(host, EffectMain);
  session.Setup();
  if (session.sequence_data() == nullptr) session.set_sequence_data(host.NewHandle(4));
  // Premiere Pro: one frame per thread at once.
  const int frames = c.app == HostApp::Premiere ? threads : 1;
  World input(c.layout, kWidth, kHeight);
  input.Fill([](A_long x, A_long y) {
    return Channels{255.0, double(x % 256), double(y % 256), double((x + y) % 256)};
  });
  std::vector<World> outputs;
  for (int i = 0; i < frames; ++i) outputs.emplace_back(c.layout, kWidth, kHeight);
  for (auto _ : state) {
    if (frames == 1) {
      if (session.Render({&input, &outputs[0]}) != PF_Err_NONE) state.SkipWithError("render");
    } else {
      std::vector<std::thread> pool;
      for (int i = 0; i < frames; ++i) {
        pool.emplace_back([&, i] { session.Render({&input, &outputs[i]}); });
      }
      for (auto& t : pool) t.join();
    }
    benchmark::ClobberMemory();
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(kMpix * frames, benchmark::Counter::kIsIterationInvariantRate);
}

void Memcpy(benchmark::State& state, const LayoutCase& c, int threads) {
  const std::size_t bytes = std::size_t{kWidth} * kHeight * PixelSize(c.layout);
  std::vector<unsigned char> src(bytes, 1), dst(bytes, 0);
  for (auto _ : state) {
    if (threads == 1) {
      std::memcpy(dst.data(), src.data(), bytes);
    } else {
      std::vector<std::thread> pool;
      const std::size_t chunk = (bytes + threads - 1) / threads;
      for (int i = 0; i < threads; ++i) {
        pool.emplace_back([&, i] {
          const std::size_t begin = std::min(bytes, i * chunk);
          const std::size_t end = std::min(bytes, begin + chunk);
          std::memcpy(dst.data() + begin, src.data() + begin, end - begin);
        });
      }
      for (auto& t : pool) t.join();
    }
    benchmark::ClobberMemory();
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(kMpix, benchmark::Counter::kIsIterationInvariantRate);
}

// Collects each run's Mpix/s for the closing table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto it = r.counters.find("Mpix/s");
      std::string name = r.benchmark_name();
      const std::string suffix = "/real_time";
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.erase(name.size() - suffix.size());
      }
      if (it != r.counters.end()) mpix[name] = it->second.value;
    }
  }
  std::map<std::string, double> mpix;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const int cores = AllCores();
  for (const auto& c : kCases) {
    for (int threads : {1, cores}) {
      const std::string suffix = std::string(c.name) + "/threads:" + std::to_string(threads);
      benchmark::RegisterBenchmark(("identity/" + suffix).c_str(), Pipeline, c, threads)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("memcpy/" + suffix).c_str(), Memcpy, c, threads)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf(
      "\n| layout | threads | identity Mpix/s | memcpy Mpix/s | identity time / memcpy time |\n"
      "|---|---|---|---|---|\n");
  for (const auto& c : kCases) {
    for (int threads : {1, cores}) {
      const std::string suffix = std::string(c.name) + "/threads:" + std::to_string(threads);
      const auto id = reporter.mpix.find("identity/" + suffix);
      const auto mc = reporter.mpix.find("memcpy/" + suffix);
      if (id == reporter.mpix.end() || mc == reporter.mpix.end()) continue;
      std::printf("| %s | %d | %.0f | %.0f | %.2f |\n", c.name, threads, id->second, mc->second,
                  mc->second / id->second);
    }
  }
  benchmark::Shutdown();
  return 0;
}
