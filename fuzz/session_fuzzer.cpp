// One effect module driven through EffectMain by the simulated host, every choice a host can make
// taken from the fuzzer's bytes: After Effects or Premiere Pro, the command order (global set-up,
// parameter set-up, sequence set-up, renders classic and smart, re-set-up, set-downs), pixel
// formats the module serves and ones it must refuse, world sizes and memory layouts, extent
// hints, parameter values a host may send (and some it never would), failing callbacks and
// missing suites, one to four iterate threads.
//
// Beside the sanitizers, every command is checked against what the module promises the host:
// only the codes it may return (its own 512, 514, 516, the codes of host calls it passes on, and
// exactly 0 / 512 / 514 / 516 where nothing failed), suites and handle locks given back, every
// checked-out parameter checked in, exactly the instance's handles alive, no byte written outside
// the output's pixels, input layers unchanged. A broken promise aborts with a message, which the
// fuzzer records as a crash.
//
// Worlds are always ones a host can hand out: a world's declared size never exceeds its buffer,
// the layers of one render share the output's depth, and in After Effects the input covers the
// output shifted by the iteration origin (the host sizes the output from the input, as the
// module asks for no larger buffer). Anything else is a memory layout no host produces.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "fuzz/byte_reader.h"
#include "hostsim/host.h"
#include "hostsim/render_services.h"
#include "hostsim/session.h"
#include "hostsim/world.h"

extern "C" PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                             PF_ParamDef* params[], PF_LayerDef* output, void* extra);
extern "C" PF_Err PluginDataEntryFunction(PF_PluginDataPtr ptr, PF_PluginDataCB callback);

namespace tavu::fuzz {
namespace {

using hostsim::Host;
using hostsim::HostApp;
using hostsim::Layout;
using hostsim::RenderRequest;
using hostsim::Session;
using hostsim::World;
using hostsim::WorldOptions;

// What the harness knows of the module, stated by the build rather than read from the effect.
constexpr A_HandleSize kBlockSize = TAVU_FUZZ_BLOCK_SIZE;
constexpr A_long kParamCount = TAVU_FUZZ_PARAM_COUNT;
constexpr A_HandleSize kGlobalDataSize = 24;

constexpr int kMaxSteps = 24;

[[noreturn]] void Violation(const char* format, ...) {
  std::fprintf(stderr, "\n*** module broke a promise to the host: ");
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fprintf(stderr, "\n");
  std::abort();
}

// TAVU_FUZZ_TRACE=1 prints the scenario as it runs, to read a reproducer.
void Trace(const char* format, ...) {
  static const bool on = std::getenv("TAVU_FUZZ_TRACE") != nullptr;
  if (!on) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

void Require(bool ok, const char* format, ...) {
  if (ok) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Violation("%s", text);
}

// ---- the codes a command may return ---------------------------------------------------------

constexpr uint32_t Bit(PF_Cmd cmd) { return 1u << cmd; }
constexpr uint32_t kRenders = Bit(PF_Cmd_RENDER) | Bit(PF_Cmd_SMART_RENDER);

// The module's own codes: 512 (no block or input, a failed allocation), 514 (a Premiere Pro frame
// it does not serve), 516 (a missing suite, an After Effects frame it does not serve).
std::set<PF_Err> OwnCodes(PF_Cmd cmd) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
    case PF_Cmd_GLOBAL_SETDOWN:
      return {PF_Err_BAD_CALLBACK_PARAM};
    case PF_Cmd_GLOBAL_SETUP:
      return {PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_BAD_CALLBACK_PARAM};
    case PF_Cmd_SEQUENCE_SETUP:
    case PF_Cmd_SEQUENCE_RESETUP:
      return {PF_Err_INTERNAL_STRUCT_DAMAGED};
    case PF_Cmd_RENDER:
    case PF_Cmd_SMART_RENDER:
      return {PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_UNRECOGNIZED_PARAM_TYPE,
              PF_Err_BAD_CALLBACK_PARAM};
    default:
      return {};
  }
}

// Host callbacks the harness can fail, and the commands that hand a failure's code back to the
// host unchanged. The others' codes must never come back: the module either ignores them (a
// failed check-out, format query or unlock) or answers with its own code.
struct Callback {
  const char* name;
  uint32_t passedBackBy;
};
constexpr Callback kCallbacks[] = {
    {"add_param", Bit(PF_Cmd_PARAMS_SETUP)},
    {"AEGP_RegisterWithAEGP", Bit(PF_Cmd_GLOBAL_SETUP)},
    {"checkout_param", 0},
    {"checkin_param", kRenders},
    {"iterate_origin", kRenders},
    {"checkout_layer", Bit(PF_Cmd_SMART_PRE_RENDER)},
    {"checkout_layer_pixels", Bit(PF_Cmd_SMART_RENDER)},
    {"checkout_output", Bit(PF_Cmd_SMART_RENDER)},
    {"host_new_handle", 0},
    {"host_lock_handle", 0},
    {"host_unlock_handle", 0},
    {"host_dispose_handle", 0},
    {"host_resize_handle", 0},
    {"PF_GetPixelFormat", 0},
    {"GetPixelFormat", 0},
    {"ClearSupportedPixelFormats", 0},
    {"AddSupportedPixelFormat", 0},
    {"sprintf", 0},
    {"strcpy", 0},
    {"ReleaseSuite", 0},
};

// Suites the module acquires. Render acquires the first two straight from the basic suite and
// ends with the acquisition's own code; the suite holder turns every other refusal into 516.
struct SuiteRef {
  const char* name;
  int32_t version;
  uint32_t codePassedBackBy;
};
constexpr SuiteRef kSuites[] = {
    {kPFWorldSuite, kPFWorldSuiteVersion, kRenders},
    {kPFPixelFormatSuite, kPFPixelFormatSuiteVersion, kRenders},
    {kPFIterate8Suite, kPFIterateSuiteVersion, 0},
    {kPFIterate16Suite, kPFIterateSuiteVersion, 0},
    {kPFIterateFloatSuite, kPFIterateSuiteVersion, 0},
    {kPFHandleSuite, kPFHandleSuiteVersion, 0},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, 0},
    {kPFANSISuite, kPFANSISuiteVersion, 0},
};
constexpr int kHandleSuite = 5;

// clang-format off
constexpr PF_Err kInjectedCodes[] = {
    PF_Err_NONE, PF_Err_OUT_OF_MEMORY, PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_INVALID_INDEX,
    PF_Err_UNRECOGNIZED_PARAM_TYPE, PF_Err_INVALID_CALLBACK, PF_Err_BAD_CALLBACK_PARAM,
    PF_Interrupt_CANCEL, -1, static_cast<PF_Err>(kSPSuiteNotFoundError), 0x7FFFFFFF,
    std::numeric_limits<PF_Err>::min(),
};
// clang-format on

// Commands the module does not answer: each must return 0 at once and touch nothing.
// clang-format off
constexpr PF_Cmd kUnhandled[] = {
    PF_Cmd_UNUSED_0, PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_DO_DIALOG, PF_Cmd_FRAME_SETUP,
    PF_Cmd_FRAME_SETDOWN, PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_EVENT,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES, PF_Cmd_COMPLETELY_GENERAL, PF_Cmd_QUERY_DYNAMIC_FLAGS,
    PF_Cmd_AUDIO_RENDER, PF_Cmd_AUDIO_SETUP, PF_Cmd_AUDIO_SETDOWN, PF_Cmd_ARBITRARY_CALLBACK,
    PF_Cmd_NUM_CMDS, static_cast<PF_Cmd>(-1), static_cast<PF_Cmd>(1000),
    static_cast<PF_Cmd>(std::numeric_limits<int32_t>::min()),
    static_cast<PF_Cmd>(std::numeric_limits<int32_t>::max()),
};
// clang-format on

// ---- pixel formats and worlds ---------------------------------------------------------------

constexpr Layout kLayouts[] = {Layout::Argb8, Layout::Argb16, Layout::ArgbFloat, Layout::Bgra8,
                               Layout::BgraFloat};
constexpr PF_PixelFormat kAfterEffectsFormats[] = {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64,
                                                   PF_PixelFormat_ARGB128};
constexpr PF_PixelFormat kPremiereFormats[] = {
    PrPixelFormat_BGRA_4444_8u, PrPixelFormat_BGRA_4444_32f, PrPixelFormat_BGRA_4444_32f_Linear};

template <std::size_t N>
bool OneOf(PF_PixelFormat f, const PF_PixelFormat (&set)[N]) {
  return std::find(std::begin(set), std::end(set), f) != std::end(set);
}

constexpr A_long kSizes[] = {0, 1, 1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 31, 33, 63, 64, 65, 66, 67};
// One pixel wide, at and just past the 16-bit limits (32767 and 65535 rows): frames whose row
// numbers and row offsets need more than 16 bits, which are to render without a write outside.
constexpr A_long kTallHeights[] = {32767, 32768, 32769, 65536, 65537};

// clang-format off
constexpr float kSpecialFloats[] = {
    0.0f, 1.0f, 0.5f, -0.0f, -0.5f, 2.0f, 255.0f, 1e-8f, 0.99999994f, 1.0000001f,
    std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min(),
    std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
};

constexpr double kSpecialDoubles[] = {
    0.0, -0.0, 100.0, 1.0, -1.0, 255.0, 256.0, 1e300, -1e300, 1e39, -1e39, 3.5e38, 1e-40,
    std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max(),
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
};
// clang-format on

// Pixel bytes in a world's memory order.
struct PixelBytes {
  unsigned char bytes[16];
};

std::vector<unsigned char> PixelSnapshot(const World& w) {
  const std::size_t row = static_cast<std::size_t>(w.width()) * hostsim::PixelSize(w.layout());
  if (w.def()->data == nullptr || row == 0 || w.height() == 0) return {};
  std::vector<unsigned char> out(row * static_cast<std::size_t>(w.height()));
  for (A_long y = 0; y < w.height(); ++y) {
    std::memcpy(out.data() + row * static_cast<std::size_t>(y), w.PixelAddress(0, y), row);
  }
  return out;
}

// A world the render reads, with its pixels as they were before the render.
struct WatchedWorld {
  World world;
  std::vector<unsigned char> before;
};

// ---- the scenario ---------------------------------------------------------------------------

// The faults armed for one command.
struct Armed {
  bool any = false;
  std::set<PF_Err> passedBack;     // codes of failing host calls the command may hand back
  bool releaseUnreliable = false;  // ReleaseSuite fails, or a refused acquisition wrote a table
  bool handleSuiteDenied = false;
  std::vector<std::pair<SuiteRef, const void*>> removed;
};

class Scenario {
 public:
  explicit Scenario(ByteReader& in)
      : in_(in),
        host_(in.Bool() ? HostApp::Premiere : HostApp::AfterEffects),
        session_(host_, EffectMain) {
    premiere_ = host_.app() == HostApp::Premiere;
    host_.render().iterate.set_threads(in_.Between(1, 4));
    host_.set_move_handles_on_resize(in_.Bool());
  }

  void Run() {
    Describe();
    host_.in_data.num_params = 1;
    if (!GlobalSetup()) return;
    if (ParamsSetup()) {
      SequenceSetup(PF_Cmd_SEQUENCE_SETUP, nullptr);
      for (int step = 0; step < kMaxSteps && !in_.empty(); ++step) Step();
      if (host_.in_data.sequence_data != nullptr) SequenceSetdown();
    }
    GlobalSetdown();
    Require(host_.aegp.LiveMemHandles() == 0, "%d memory handles left",
            host_.aegp.LiveMemHandles());
  }

 private:
  // The host loads the module and asks who it is: one call of its callback, whose code comes back.
  void Describe() {
    struct Answer {
      int calls = 0;
      PF_Err code = PF_Err_NONE;
    } answer;
    answer.code = in_.Rarely(16) ? in_.Pick(kInjectedCodes) : PF_Err_NONE;
    const PF_Err err = PluginDataEntryFunction(
        &answer,
        [](PF_PluginDataPtr ptr, const A_u_char* name, const A_u_char* match,
           const A_u_char* category, const A_u_char* entry, A_long, A_long, A_long,
           A_long) -> PF_Err {
          auto* a = static_cast<Answer*>(ptr);
          ++a->calls;
          Require(name && match && category && entry && *name && *match && *entry,
                  "the module described itself with an empty name");
          return a->code;
        });
    Require(answer.calls == 1 && err == answer.code,
            "PluginDataEntryFunction called back %d times and returned %d, not %d", answer.calls,
            err, answer.code);
  }

  // ---- sending a command --------------------------------------------------------------------

  // As the host sends a lifecycle command: out_data zeroed but for the handles and the count,
  // which it takes back afterwards. A handle the module moved in place (a resize) is taken from
  // in_data when out_data still holds the one the host passed.
  PF_Err Send(PF_Cmd cmd, void* extra = nullptr) {
    host_.ResetOutData();
    PF_Handle passedSequence = host_.in_data.sequence_data;
    host_.out_data.global_data = host_.in_data.global_data;
    host_.out_data.sequence_data = passedSequence;
    host_.out_data.num_params = host_.in_data.num_params;
    const PF_Err err = EffectMain(cmd, &host_.in_data, &host_.out_data, nullptr, nullptr, extra);
    host_.in_data.global_data = host_.out_data.global_data;
    if (host_.out_data.sequence_data != passedSequence) {
      host_.in_data.sequence_data = host_.out_data.sequence_data;
    }
    host_.in_data.num_params = host_.out_data.num_params;
    return err;
  }

  const void* SuiteTable(const SuiteRef& s) {
    const void* table = nullptr;
    const SPBasicSuite* basic = host_.basic_suite();
    if (basic->AcquireSuite(s.name, s.version, &table) == kSPNoError && table != nullptr) {
      basic->ReleaseSuite(s.name, s.version);
    }
    return table;
  }

  // Most commands run with every host service working; some meet one to three failures.
  Armed Arm(PF_Cmd cmd) {
    Armed a;
    if (!in_.Rarely(80)) return a;
    a.any = true;
    const int count = in_.Between(1, 3);
    for (int i = 0; i < count; ++i) {
      const int kind = in_.Byte() % 5;
      if (kind <= 1) {
        const Callback& cb = in_.Pick(kCallbacks);
        const PF_Err code = in_.Pick(kInjectedCodes);
        if (kind == 0) {
          host_.FailCall(cb.name, in_.Between(1, 8), code);
        } else {
          host_.FailAllCalls(cb.name, code);
        }
        if ((cb.passedBackBy & Bit(cmd)) != 0) a.passedBack.insert(code);
        if (std::strcmp(cb.name, "ReleaseSuite") == 0) a.releaseUnreliable = true;
        continue;
      }
      const int index = in_.Byte() % static_cast<int>(std::size(kSuites));
      const SuiteRef& s = kSuites[index];
      if (index == kHandleSuite) a.handleSuiteDenied = true;
      const bool passes = (s.codePassedBackBy & Bit(cmd)) != 0;
      if (kind == 2) {
        if (const void* table = SuiteTable(s)) {
          host_.RemoveSuite(s.name, s.version);
          a.removed.emplace_back(s, table);
        }
        if (passes) a.passedBack.insert(static_cast<PF_Err>(kSPSuiteNotFoundError));
      } else if (kind == 3) {
        const PF_Err code = in_.Pick(kInjectedCodes);
        // A refusal that still writes the table: the module may use it, and then gives it back.
        const void* written = code != kSPNoError && in_.Bool() ? SuiteTable(s) : nullptr;
        host_.FailAcquire(s.name, s.version, code, written);
        if (written != nullptr) a.releaseUnreliable = true;
        if (passes) a.passedBack.insert(code);
      } else {
        host_.AcquireYieldsNull(s.name, s.version);
      }
    }
    return a;
  }

  void Disarm(const Armed& a) {
    host_.ClearFaults();
    for (const auto& [suite, table] : a.removed) host_.AddSuite(suite.name, suite.version, table);
  }

  // Checks that hold after every command, whatever failed.
  void CheckAfter(PF_Cmd cmd, PF_Err err, const Armed& a) {
    std::set<PF_Err> allowed = OwnCodes(cmd);
    allowed.insert(PF_Err_NONE);
    allowed.insert(a.passedBack.begin(), a.passedBack.end());
    Require(allowed.count(err) == 1, "command %d returned %d, which it may not return", cmd, err);
    Require(host_.OutstandingSuites() == 0, "command %d kept %d suites", cmd,
            host_.OutstandingSuites());
    Require(host_.LockedHandles() == 0, "command %d left %d handles locked", cmd,
            host_.LockedHandles());
    // A render checks out parameters 1..N in order, or none when it ends before, and checks in
    // every record it asked for: a failed check-out's stand-in record too, and nothing else.
    const hostsim::ParamServer& params = host_.render().params;
    const std::vector<PF_ParamIndex> asked = params.CheckoutLog();
    if (!asked.empty()) {
      Require((Bit(cmd) & kRenders) != 0, "command %d checked out parameters", cmd);
      std::vector<PF_ParamIndex> all(kParamCount);
      for (A_long i = 0; i < kParamCount; ++i) all[i] = i + 1;
      Require(asked == all, "render checked out %zu parameters, not 1..%d in order", asked.size(),
              kParamCount);
    }
    const int failed = static_cast<int>(asked.size()) - params.Checkouts();
    Require(params.Outstanding() == 0, "command %d left %d parameters checked out", cmd,
            params.Outstanding());
    Require(params.Checkins() == static_cast<int>(asked.size()) && params.StrayCheckins() == failed,
            "command %d checked in %d records (%d never checked out) for %zu check-outs, %d failed",
            cmd, params.Checkins(), params.StrayCheckins(), asked.size(), failed);
    if (!a.releaseUnreliable) {
      for (const auto& call : host_.SuiteLog()) {
        Require(!(call.kind == hostsim::SuiteCall::Kind::Release &&
                  call.result == static_cast<SPErr>(kSPSuiteNotFoundError)),
                "command %d released \"%s\" %d more often than it acquired it", cmd,
                call.name.c_str(), call.version);
      }
    }
  }

  void CheckHandles(PF_Cmd cmd, int extra = 0) {
    const int expected = (host_.in_data.global_data != nullptr ? 1 : 0) +
                         (host_.in_data.sequence_data != nullptr ? 1 : 0) + extra;
    Require(host_.LiveHandles() == expected,
            "after command %d the host holds %d handles, the instance %d", cmd, host_.LiveHandles(),
            expected);
  }

  // Arms faults from the input, runs the command, disarms and checks.
  template <class SendFn>
  std::pair<PF_Err, Armed> Command(PF_Cmd cmd, SendFn send) {
    Armed a = Arm(cmd);
    host_.ClearSuiteLog();
    host_.render().params.ClearCounts();
    const PF_Err err = send();
    Disarm(a);
    Trace("command %d -> %d%s\n", cmd, err, a.any ? " (faults armed)" : "");
    CheckAfter(cmd, err, a);
    return {err, a};
  }

  // ---- lifecycle ----------------------------------------------------------------------------

  bool GlobalSetup() {
    const auto [err, a] = Command(PF_Cmd_GLOBAL_SETUP, [&] { return Send(PF_Cmd_GLOBAL_SETUP); });
    if (!a.any) {
      Require(err == PF_Err_NONE && host_.in_data.global_data != nullptr,
              "global set-up failed (%d) with every host service working", err);
      Require(host_.HandleSize(host_.in_data.global_data) == kGlobalDataSize,
              "global data of %u bytes",
              static_cast<unsigned>(host_.HandleSize(host_.in_data.global_data)));
    }
    if (err != PF_Err_NONE) {
      Require(host_.in_data.global_data == nullptr, "failed global set-up stored its handle");
    }
    CheckHandles(PF_Cmd_GLOBAL_SETUP);
    // A host drops a module whose global set-up fails.
    return err == PF_Err_NONE;
  }

  void GlobalSetdown() {
    const auto [err, a] =
        Command(PF_Cmd_GLOBAL_SETDOWN, [&] { return Send(PF_Cmd_GLOBAL_SETDOWN); });
    // Without the handle suite the module cannot free its global data: the one handle it may
    // leave, and only then.
    const bool kept = err == PF_Err_BAD_CALLBACK_PARAM && a.handleSuiteDenied &&
                      host_.in_data.global_data != nullptr;
    Require(err == PF_Err_NONE || kept, "global set-down returned %d", err);
    host_.in_data.global_data = nullptr;
    CheckHandles(PF_Cmd_GLOBAL_SETDOWN, kept ? 1 : 0);
  }

  bool ParamsSetup() {
    const auto [err, a] = Command(PF_Cmd_PARAMS_SETUP, [&] { return Send(PF_Cmd_PARAMS_SETUP); });
    if (!a.any) Require(err == PF_Err_NONE, "parameter set-up failed (%d)", err);
    const bool complete = host_.added_params.size() == static_cast<std::size_t>(kParamCount);
    if (err == PF_Err_NONE) {
      Require(host_.in_data.num_params == kParamCount + 1, "%d parameters reported",
              host_.in_data.num_params);
    }
    CheckHandles(PF_Cmd_PARAMS_SETUP);
    // A host does not apply an effect whose parameters it did not all receive.
    return err == PF_Err_NONE && complete;
  }

  // Set-up (PF_Cmd_SEQUENCE_SETUP) or re-set-up (PF_Cmd_SEQUENCE_RESETUP) of an instance;
  // `passed` is a handle the host hands in (nullptr: none). Then the block the instance holds.
  void SequenceSetup(PF_Cmd cmd, PF_Handle passed) {
    std::vector<unsigned char> passedBytes;
    if (passed != nullptr) {
      const auto* p = static_cast<const unsigned char*>(*passed);
      passedBytes.assign(p, p + host_.HandleSize(passed));
    }
    host_.in_data.sequence_data = passed;
    const auto [err, a] = Command(cmd, [&] { return Send(cmd); });
    PF_Handle now = host_.in_data.sequence_data;
    if (passed == nullptr) {
      if (err == PF_Err_NONE) {
        Require(now != nullptr, "command %d succeeded without a block", cmd);
        Require(host_.HandleSize(now) == kBlockSize, "new block of %u bytes",
                static_cast<unsigned>(host_.HandleSize(now)));
        const auto* p = static_cast<const unsigned char*>(*now);
        Require(std::all_of(p, p + kBlockSize, [](unsigned char c) { return c == 0; }),
                "new block not zeroed");
        Require(host_.out_data.flat_sdata_size == static_cast<A_long>(kBlockSize), "flat size %d",
                host_.out_data.flat_sdata_size);
      } else {
        Require(now == nullptr, "failed command %d left a block", cmd);
        Require(std::strcmp(host_.out_data.return_msg, "Internal Error") == 0 &&
                    (host_.out_data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0,
                "failed command %d reported no error message", cmd);
      }
      if (!a.any) Require(err == PF_Err_NONE, "command %d failed (%d)", cmd, err);
    } else {
      Require(err == PF_Err_NONE && now != nullptr, "command %d dropped the host's handle (%d)",
              cmd, err);
      const A_HandleSize size = host_.HandleSize(now);
      if (cmd == PF_Cmd_SEQUENCE_SETUP && !a.any) {
        Require(size == kBlockSize, "set-up left a block of %u bytes", static_cast<unsigned>(size));
      }
      if (cmd == PF_Cmd_SEQUENCE_RESETUP) {
        Require(now == passed && size == passedBytes.size(), "re-set-up changed the handle");
      }
      const std::size_t kept = std::min<std::size_t>(size, passedBytes.size());
      Require(kept == 0 || std::memcmp(*now, passedBytes.data(), kept) == 0,
              "command %d changed the stored bytes", cmd);
    }
    CheckHandles(cmd);
  }

  void SequenceSetdown() {
    const auto [err, a] =
        Command(PF_Cmd_SEQUENCE_SETDOWN, [&] { return Send(PF_Cmd_SEQUENCE_SETDOWN); });
    Require(err == PF_Err_NONE && host_.in_data.sequence_data == nullptr &&
                host_.out_data.sequence_data == nullptr,
            "sequence set-down returned %d or kept its handle", err);
    CheckHandles(PF_Cmd_SEQUENCE_SETDOWN);
  }

  // A handle as the host builds it from a saved project: any size, any bytes.
  PF_Handle StoredHandle() {
    const A_HandleSize size = static_cast<A_HandleSize>(in_.Between(0, 64));
    PF_Handle h = host_.NewHandle(size);
    auto* p = static_cast<unsigned char*>(*h);
    for (A_HandleSize i = 0; i < size; ++i) p[i] = in_.Byte();
    return h;
  }

  // ---- the steps between set-up and set-down -------------------------------------------------

  void Step() {
    switch (in_.Byte() % 10) {
      case 0:
        Render(false, false);
        break;
      case 1:
        Render(true, true);
        break;
      case 2:
        Render(true, false);
        break;
      case 3:
        PreRender();
        break;
      case 4:
        About();
        break;
      case 5:
        Unhandled();
        break;
      case 6:
        if (host_.in_data.sequence_data != nullptr) SequenceSetdown();
        break;
      case 7:
        // A new instance; the host rarely hands in a handle of its own.
        if (host_.in_data.sequence_data != nullptr) SequenceSetdown();
        SequenceSetup(PF_Cmd_SEQUENCE_SETUP, in_.Rarely(64) ? StoredHandle() : nullptr);
        break;
      case 8:
        // Re-set-up of the instance as it stands (duplicated), or of one loaded from a project.
        if (host_.in_data.sequence_data != nullptr && in_.Bool()) {
          SequenceSetup(PF_Cmd_SEQUENCE_RESETUP, host_.in_data.sequence_data);
        } else {
          if (host_.in_data.sequence_data != nullptr) SequenceSetdown();
          SequenceSetup(PF_Cmd_SEQUENCE_RESETUP, in_.Bool() ? StoredHandle() : nullptr);
        }
        break;
      default:
        if (in_.Rarely(64)) host_.render().iterate.set_threads(in_.Between(1, 4));
        Render(in_.Bool(), in_.Bool());
        break;
    }
  }

  void About() {
    const auto [err, a] = Command(PF_Cmd_ABOUT, [&] { return Send(PF_Cmd_ABOUT); });
    if (!a.any) Require(err == PF_Err_NONE, "About failed (%d)", err);
    if (premiere_) {
      Require(host_.out_data.return_msg[0] == '\0', "About wrote a text in Premiere Pro");
    }
    CheckHandles(PF_Cmd_ABOUT);
  }

  void Unhandled() {
    const PF_Cmd cmd = in_.Pick(kUnhandled);
    const PF_InData inBefore = host_.in_data;
    PF_OutData out{};
    std::memset(&out, 0x5A, sizeof out);
    const PF_OutData outBefore = out;
    const int checkouts = host_.render().params.Checkouts();
    host_.ClearSuiteLog();
    const PF_Err err = EffectMain(cmd, &host_.in_data, &out, nullptr, nullptr, nullptr);
    Require(err == PF_Err_NONE, "command %d, which the module does not answer, returned %d", cmd,
            err);
    Require(std::memcmp(&out, &outBefore, sizeof out) == 0 &&
                std::memcmp(&host_.in_data, &inBefore, sizeof inBefore) == 0,
            "command %d, which the module does not answer, wrote the host's records", cmd);
    Require(host_.SuiteLog().empty() && host_.render().params.Checkouts() == checkouts,
            "command %d, which the module does not answer, called the host", cmd);
    CheckHandles(cmd);
  }

  PF_LRect AnyRect() {
    switch (in_.Byte() % 4) {
      case 0:
        return PF_LRect{0, 0, in_.Between(0, 70), in_.Between(0, 70)};
      case 1:
        return PF_LRect{};
      case 2: {
        const A_long l = in_.Between(-8, 8), t = in_.Between(-8, 8);
        return PF_LRect{l, t, l + in_.Between(-4, 70), t + in_.Between(-4, 70)};
      }
      default:
        return PF_LRect{in_.I32(), in_.I32(), in_.I32(), in_.I32()};
    }
  }

  // An empty destination takes the source as it is; an empty source changes nothing; else the
  // bounding box of both.
  static PF_LRect Union(const PF_LRect& src, const PF_LRect& dst) {
    auto empty = [](const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; };
    if (empty(dst)) return src;
    if (empty(src)) return dst;
    return PF_LRect{std::min(src.left, dst.left), std::min(src.top, dst.top),
                    std::max(src.right, dst.right), std::max(src.bottom, dst.bottom)};
  }

  static bool SameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }

  void PreRender() {
    PF_RenderRequest request{};
    request.rect = AnyRect();
    request.field = in_.Byte() % 3;
    request.channel_mask = in_.Byte();
    request.preserve_rgb_of_zero_alpha = in_.Byte();
    for (A_long& r : request.reserved) r = in_.Rarely(32) ? in_.I32() : 0;
    const PF_LRect arrivingResult = AnyRect();
    const PF_LRect arrivingMax = AnyRect();
    host_.prerender.answer = PF_CheckoutResult{};
    host_.prerender.answer.result_rect = AnyRect();
    host_.prerender.answer.max_result_rect = AnyRect();
    host_.in_data.current_time = in_.Rarely(32) ? in_.I32() : in_.Between(0, 48);
    PF_PreRenderExtra* extra = host_.prerender.Prepare(request, arrivingResult, arrivingMax);
    const std::size_t callsBefore = host_.prerender.Calls().size();

    const auto [err, a] =
        Command(PF_Cmd_SMART_PRE_RENDER, [&] { return Send(PF_Cmd_SMART_PRE_RENDER, extra); });
    const PF_PreRenderOutput& out = host_.prerender.output;
    const auto calls = host_.prerender.Calls();
    Require(calls.size() == callsBefore + 1, "pre-render checked out %zu layers",
            calls.size() - callsBefore);
    Require(calls.back().index == 0 && calls.back().checkout_id == 0 &&
                std::memcmp(&calls.back().request, &request, sizeof request) == 0,
            "pre-render did not pass the host's own request for the input layer");
    if (!a.any) {
      Require(err == PF_Err_NONE, "pre-render failed (%d)", err);
      Require(
          SameRect(out.result_rect, Union(host_.prerender.answer.result_rect, arrivingResult)) &&
              SameRect(out.max_result_rect,
                       Union(host_.prerender.answer.max_result_rect, arrivingMax)),
          "pre-render reported rectangles that are not the union");
    } else if (err != PF_Err_NONE) {
      Require(
          SameRect(out.result_rect, arrivingResult) && SameRect(out.max_result_rect, arrivingMax),
          "a failed pre-render changed the output rectangles");
    }
    CheckHandles(PF_Cmd_SMART_PRE_RENDER);
  }

  // ---- renders ------------------------------------------------------------------------------

  PixelBytes AnyPixel(Layout layout) {
    PixelBytes p{};
    const std::size_t size = hostsim::ChannelSize(layout);
    for (int c = 0; c < 4; ++c) {
      unsigned char* at = p.bytes + c * size;
      if (size == 1) {
        *at = in_.Byte();
      } else if (size == 2) {
        // 0..32768 as a host stores them; rarely above, which no host writes.
        const uint16_t v =
            in_.Rarely(24) ? in_.U16() : static_cast<uint16_t>(in_.Byte() * 32768 / 255);
        std::memcpy(at, &v, 2);
      } else {
        const uint8_t pick = in_.Byte();
        const float v = pick < 128   ? static_cast<float>(pick) / 127.0f
                        : pick < 240 ? kSpecialFloats[pick % std::size(kSpecialFloats)]
                                     : in_.FloatBits();
        std::memcpy(at, &v, 4);
      }
    }
    return p;
  }

  // Fills a world from a palette of one to four pixels laid out in a pattern.
  void FillWorld(World& w) {
    if (w.def()->data == nullptr) return;
    const int count = in_.Between(1, 4);
    std::vector<PixelBytes> palette;
    for (int i = 0; i < count; ++i) palette.push_back(AnyPixel(w.layout()));
    const int stride = in_.Between(0, 3);
    const std::size_t size = hostsim::PixelSize(w.layout());
    for (A_long y = 0; y < w.height(); ++y) {
      for (A_long x = 0; x < w.width(); ++x) {
        std::memcpy(w.PixelAddress(x, y), palette[(x + y * stride) % count].bytes, size);
      }
    }
  }

  WorldOptions AnyOptions(Layout layout, A_long width, A_long height) {
    WorldOptions o;
    o.rowPadding = static_cast<A_long>(hostsim::ChannelSize(layout)) * in_.Between(0, 3);
    o.bottomUp = in_.Bool();
    switch (in_.Byte() % 6) {
      case 0:
        break;
      case 1:
        o.extent = PF_UnionableRect{0, 0, width, 0};
        break;
      case 2:
        o.extent = PF_UnionableRect{0, height, width, in_.Between(-3, height)};
        break;
      case 3:
        o.extent = PF_UnionableRect{0, in_.I32(), width, in_.I32()};
        break;
      case 4: {
        const A_long shift = in_.Between(-4, 4);
        o.extent = PF_UnionableRect{0, shift, width, height + shift};
        break;
      }
      default:
        o.extent = PF_UnionableRect{0, std::numeric_limits<A_long>::min(), width,
                                    std::numeric_limits<A_long>::max()};
        break;
    }
    return o;
  }

  PF_PixelFormat AnyFormat(Layout layout) {
    const PF_PixelFormat own = hostsim::DefaultFormat(layout);
    switch (in_.Byte() % 8) {
      case 5:
        return layout == Layout::BgraFloat ? PrPixelFormat_BGRA_4444_32f_Linear : own;
      // The other host's formats and others: refused before any pixel is touched.
      case 6:
        return premiere_ ? in_.Pick(kAfterEffectsFormats) : in_.Pick(kPremiereFormats);
      case 7: {
        const PF_PixelFormat code = static_cast<PF_PixelFormat>(in_.U32());
        return OneOf(code, kAfterEffectsFormats) || OneOf(code, kPremiereFormats) ? own : code;
      }
      default:
        return own;
    }
  }

  bool Served(PF_PixelFormat format) const {
    return premiere_ ? OneOf(format, kPremiereFormats) : OneOf(format, kAfterEffectsFormats);
  }

  PF_ParamDef AnyValue(PF_ParamDef def) {
    switch (def.param_type) {
      case PF_Param_POPUP: {
        const A_long n = def.u.pd.num_choices;
        const A_long special[] = {0,
                                  -1,
                                  n + 1,
                                  n + 2,
                                  1000,
                                  std::numeric_limits<A_long>::min(),
                                  std::numeric_limits<A_long>::max(),
                                  in_.I32()};
        def.u.pd.value =
            in_.Rarely(48) ? in_.Pick(special) : in_.Between(1, std::max<A_long>(n, 1));
        break;
      }
      case PF_Param_CHECKBOX: {
        const A_long values[] = {0, 1, 1, -1, 2, in_.I32()};
        def.u.bd.value = in_.Pick(values);
        break;
      }
      case PF_Param_SLIDER: {
        const A_long lo = def.u.sd.valid_min, hi = def.u.sd.valid_max;
        const A_long special[] = {0,
                                  -1,
                                  hi + 1,
                                  100,
                                  std::numeric_limits<A_long>::min(),
                                  std::numeric_limits<A_long>::max(),
                                  in_.I32()};
        def.u.sd.value = in_.Rarely(48) ? in_.Pick(special) : in_.Between(lo, std::max(lo, hi));
        break;
      }
      case PF_Param_FLOAT_SLIDER: {
        const double lo = def.u.fs_d.valid_min, hi = def.u.fs_d.valid_max;
        const uint8_t pick = in_.Byte();
        def.u.fs_d.value = pick < 176   ? lo + (hi - lo) * (in_.U16() / 65535.0)
                           : pick < 240 ? kSpecialDoubles[pick % std::size(kSpecialDoubles)]
                                        : in_.DoubleBits();
        break;
      }
      case PF_Param_COLOR:
        def.u.cd.value = PF_Pixel{in_.Byte(), in_.Byte(), in_.Byte(), in_.Byte()};
        break;
      default:
        break;
    }
    return def;
  }

  struct Frame {
    std::deque<WatchedWorld> worlds;  // [0] input, [1] output, then second layers
    std::deque<PF_LayerDef> bare;     // layer records without pixels
    RenderRequest request;
  };

  World NewWorld(Layout layout, A_long width, A_long height, PF_PixelFormat format) {
    WorldOptions o = AnyOptions(layout, width, height);
    o.format = format;
    World w(layout, width, height, o);
    FillWorld(w);
    return w;
  }

  void Render(bool smart, bool preRender) {
    if (smart && preRender) PreRender();

    Frame f;
    const Layout layout = in_.Pick(kLayouts);
    const PF_PixelFormat format = AnyFormat(layout);
    A_long width = in_.Pick(kSizes), height = in_.Pick(kSizes);
    if (in_.Rarely(3)) {
      width = 1;
      height = in_.Pick(kTallHeights);
    }
    A_long originX = 0, originY = 0;
    A_long inWidth, inHeight;
    if (premiere_) {
      // Premiere Pro walks both worlds itself and may be handed any two sizes.
      inWidth = in_.Bool() ? width : in_.Pick(kSizes);
      inHeight = in_.Bool() ? height : in_.Pick(kSizes);
      if (in_.Rarely(16)) originX = in_.I32(), originY = in_.I32();
    } else {
      if (in_.Rarely(48)) originX = in_.Between(0, 3), originY = in_.Between(0, 3);
      inWidth = width + originX + (in_.Rarely(48) ? in_.Between(1, 3) : 0);
      inHeight = height + originY + (in_.Rarely(48) ? in_.Between(1, 3) : 0);
    }
    const bool inputWithoutPixels = premiere_ && in_.Rarely(16);
    if (inputWithoutPixels) {
      f.worlds.push_back({World::NoPixels(layout), {}});
    } else {
      f.worlds.push_back({NewWorld(layout, inWidth, inHeight, 0), {}});
    }
    f.worlds.push_back({NewWorld(layout, width, height, format), {}});
    World& input = f.worlds[0].world;
    World& output = f.worlds[1].world;

    RenderRequest& r = f.request;
    r.input = &input;
    r.output = &output;
    r.smart = smart;
    r.time = in_.Rarely(32) ? in_.I32() : in_.Between(0, 48);
    r.originX = originX;
    r.originY = originY;
    for (PF_ParamIndex i = 1; i <= kParamCount; ++i) {
      const PF_ParamDef current = session_.Param(i);
      if (current.param_type == PF_Param_LAYER) {
        switch (in_.Byte() % 7) {
          case 0:
            break;  // the default: the effect's own layer
          case 1:
            r.layers[i] = nullptr;
            break;
          case 2:
            r.layers[i] = input.def();
            break;
          case 3: {
            // A larger layer.
            f.worlds.push_back(
                {NewWorld(layout, inWidth + in_.Between(1, 5), inHeight + in_.Between(1, 5), 0),
                 {}});
            r.layers[i] = f.worlds.back().world.def();
            break;
          }
          case 4: {
            // A layer that claims a size but carries no pixels.
            PF_LayerDef bare{};
            bare.width = in_.Pick(kSizes);
            bare.height = in_.Pick(kSizes);
            bare.rowbytes = in_.I32();
            f.bare.push_back(bare);
            r.layers[i] = &f.bare.back();
            break;
          }
          default: {
            f.worlds.push_back({NewWorld(layout, in_.Pick(kSizes), in_.Pick(kSizes), 0), {}});
            r.layers[i] = f.worlds.back().world.def();
            break;
          }
        }
      } else if (in_.Bool()) {
        r.params[i] = AnyValue(current);
      }
    }
    for (WatchedWorld& w : f.worlds) w.before = PixelSnapshot(w.world);
    Trace("%s render: %s '%.4s' output %dx%d input %dx%d origin %d,%d, %zu layer worlds\n",
          smart ? "smart" : "classic", hostsim::LayoutName(layout),
          reinterpret_cast<const char*>(&format), width, height, input.width(), input.height(),
          originX, originY, f.worlds.size() - 2);

    const PF_Cmd cmd = smart ? PF_Cmd_SMART_RENDER : PF_Cmd_RENDER;
    const bool block = host_.in_data.sequence_data != nullptr;
    const auto [err, a] = Command(cmd, [&] { return session_.Render(r); });

    for (std::size_t i = 0; i < f.worlds.size(); ++i) {
      const WatchedWorld& w = f.worlds[i];
      Require(w.world.OutsideIntact(), "render wrote outside the pixels of world %zu", i);
      if (i != 1) {
        Require(PixelSnapshot(w.world) == w.before, "render changed layer world %zu", i);
      }
    }

    PF_Err expected = PF_Err_NONE;
    if (!block) {
      expected = PF_Err_INTERNAL_STRUCT_DAMAGED;
    } else if (!Served(output.format())) {
      expected = premiere_ ? PF_Err_UNRECOGNIZED_PARAM_TYPE : PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!a.any) {
      Require(err == expected, "render returned %d where %d was due", err, expected);
      if (expected != PF_Err_NONE) {
        Require(PixelSnapshot(output) == f.worlds[1].before, "a refused render wrote pixels");
      }
    }
    if (premiere_) CheckPremiereArea(f, inputWithoutPixels);
    CheckHandles(cmd);
  }

  // Premiere Pro: the rows of the output's extent, bounded by both worlds, and the columns both
  // worlds have; nothing beyond is written.
  void CheckPremiereArea(const Frame& f, bool inputWithoutPixels) {
    const World& input = f.worlds[0].world;
    const World& output = f.worlds[1].world;
    const auto after = PixelSnapshot(output);
    const auto& before = f.worlds[1].before;
    const PF_UnionableRect& extent = output.def()->extent_hint;
    const int64_t rows = std::clamp<int64_t>(int64_t{extent.bottom} - extent.top, 0,
                                             std::min(input.height(), output.height()));
    const A_long columns = inputWithoutPixels ? 0 : std::min(input.width(), output.width());
    const std::size_t pixel = hostsim::PixelSize(output.layout());
    for (A_long y = 0; y < output.height(); ++y) {
      for (A_long x = 0; x < output.width(); ++x) {
        if (y < rows && x < columns) continue;
        const std::size_t at = (static_cast<std::size_t>(y) * output.width() + x) * pixel;
        Require(std::memcmp(&after[at], &before[at], pixel) == 0,
                "Premiere Pro render wrote pixel (%d, %d) outside its %lld rows and %d columns", x,
                y, static_cast<long long>(rows), columns);
      }
    }
  }

  ByteReader& in_;
  Host host_;
  Session session_;
  bool premiere_ = false;
};

}  // namespace
}  // namespace tavu::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavu::fuzz::ByteReader in(data, size);
  tavu::fuzz::Scenario scenario(in);
  scenario.Run();
  return 0;
}
