#include "hostsim/host.h"

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "hostsim/render_services.h"

namespace tavu::hostsim {

namespace {
std::atomic<Host*> g_current{nullptr};
constexpr uint32_t kHandleMagic = 0x48444C45;  // 'HDLE'
}  // namespace

// The data pointer comes first so that a handle (the address of that pointer) dereferences to the
// data, as the module expects.
struct Host::HandleBlock {
  void* data;
  A_HandleSize size;
  int locks;
  uint32_t magic;
};

// ---- basic suite -------------------------------------------------------------------------------
struct BasicSuiteImpl {
  static SPErr Acquire(const char* name, int32_t version, const void** suite) {
    Host& h = Host::Current();
    std::lock_guard<std::mutex> lock(h.mutex_);
    const Host::SuiteKey key{name ? name : "", version};
    SPErr result = kSPNoError;
    if (auto f = h.suite_faults_.find(key); f != h.suite_faults_.end()) {
      *suite = f->second.written;
      result = f->second.code;
    } else if (auto s = h.suites_.find(key); s != h.suites_.end()) {
      *suite = s->second;
      if (s->second != nullptr) ++h.outstanding_[key];
    } else {
      result = kSPSuiteNotFoundError;
    }
    h.suite_log_.push_back({SuiteCall::Kind::Acquire, key.name, version, result});
    return result;
  }

  static SPErr Release(const char* name, int32_t version) {
    Host& h = Host::Current();
    std::optional<PF_Err> fault = h.Fault("ReleaseSuite");
    std::lock_guard<std::mutex> lock(h.mutex_);
    const Host::SuiteKey key{name ? name : "", version};
    SPErr result = fault ? *fault : kSPNoError;
    auto it = h.outstanding_.find(key);
    if (it != h.outstanding_.end() && it->second > 0) {
      --it->second;
    } else if (!fault) {
      result = kSPSuiteNotFoundError;  // released more often than acquired
    }
    h.suite_log_.push_back({SuiteCall::Kind::Release, key.name, version, result});
    return result;
  }

  static SPBoolean IsEqual(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
  static SPErr Allocate(size_t size, void** block) {
    *block = std::malloc(size);
    return *block ? SPErr{kSPNoError} : SPErr{PF_Err_OUT_OF_MEMORY};
  }
  static SPErr Free(void* block) {
    std::free(block);
    return kSPNoError;
  }
  static SPErr Reallocate(void* block, size_t size, void** out) {
    void* p = std::realloc(block, size);
    if (!p) return PF_Err_OUT_OF_MEMORY;
    *out = p;
    return kSPNoError;
  }
  static SPErr Undefined() { return kSPNoError; }
};

// ---- handle and ANSI callbacks ---------------------------------------------------------------
namespace {
PF_Handle CbNewHandle(A_HandleSize size) { return Host::Current().NewHandle(size); }
void* CbLockHandle(PF_Handle h) { return Host::Current().LockHandle(h); }
void CbUnlockHandle(PF_Handle h) { Host::Current().UnlockHandle(h); }
void CbDisposeHandle(PF_Handle h) { Host::Current().DisposeHandle(h); }
A_HandleSize CbHandleSize(PF_Handle h) { return Host::Current().HandleSize(h); }
PF_Err CbResizeHandle(A_HandleSize size, PF_Handle* h) {
  return Host::Current().ResizeHandle(size, h);
}

int CbSprintf(A_char* dst, const A_char* fmt, ...) {
  Host& h = Host::Current();
  h.Fault("sprintf");
  va_list args;
  va_start(args, fmt);
  // Every caller in the module writes into return_msg; the host bounds it the same way.
  const int n = std::vsnprintf(dst, PF_MAX_EFFECT_MSG_LEN + 1, fmt, args);
  va_end(args);
  h.sprintf_results.emplace_back(dst);
  return n;
}

A_char* CbStrcpy(A_char* dst, const A_char* src) {
  Host::Current().Fault("strcpy");
  return std::strcpy(dst, src);
}

PF_Err CbAddParam(PF_ProgPtr, PF_ParamIndex index, PF_ParamDef* def) {
  Host& h = Host::Current();
  if (auto f = h.Fault("add_param")) return *f;
  h.added_params.push_back(*def);
  h.add_param_indices.push_back(index);
  return PF_Err_NONE;
}

PF_Err CbGetWorldFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
  Host& h = Host::Current();
  if (auto f = h.Fault("PF_GetPixelFormat")) return *f;
  *format = h.WorldFormat(world);
  return PF_Err_NONE;
}

PF_Err CbGetPixelFormat(const PF_EffectWorld* world, PrPixelFormat* format) {
  Host& h = Host::Current();
  if (auto f = h.Fault("GetPixelFormat")) return *f;
  *format = h.WorldFormat(world);
  return PF_Err_NONE;
}

PF_Err CbClearFormats(PF_ProgPtr) {
  Host& h = Host::Current();
  if (auto f = h.Fault("ClearSupportedPixelFormats")) return *f;
  h.declared_formats.push_back(0);
  return PF_Err_NONE;
}

PF_Err CbAddFormat(PF_ProgPtr, PrPixelFormat format) {
  Host& h = Host::Current();
  if (auto f = h.Fault("AddSupportedPixelFormat")) return *f;
  h.declared_formats.push_back(format);
  return PF_Err_NONE;
}

template <typename Table>
void FillAnsi(Table& t) {
  t.atan = [](PF_FpLong v) { return std::atan(v); };
  t.atan2 = [](PF_FpLong y, PF_FpLong x) { return std::atan2(y, x); };
  t.ceil = [](PF_FpLong v) { return std::ceil(v); };
  t.cos = [](PF_FpLong v) { return std::cos(v); };
  t.exp = [](PF_FpLong v) { return std::exp(v); };
  t.fabs = [](PF_FpLong v) { return std::fabs(v); };
  t.floor = [](PF_FpLong v) { return std::floor(v); };
  t.fmod = [](PF_FpLong x, PF_FpLong y) { return std::fmod(x, y); };
  t.hypot = [](PF_FpLong x, PF_FpLong y) { return std::hypot(x, y); };
  t.log = [](PF_FpLong v) { return std::log(v); };
  t.log10 = [](PF_FpLong v) { return std::log10(v); };
  t.pow = [](PF_FpLong x, PF_FpLong y) { return std::pow(x, y); };
  t.sin = [](PF_FpLong v) { return std::sin(v); };
  t.sqrt = [](PF_FpLong v) { return std::sqrt(v); };
  t.tan = [](PF_FpLong v) { return std::tan(v); };
  t.sprintf = CbSprintf;
  t.strcpy = CbStrcpy;
  t.asin = [](PF_FpLong v) { return std::asin(v); };
  t.acos = [](PF_FpLong v) { return std::acos(v); };
}
}  // namespace

// ---- Host --------------------------------------------------------------------------------------
Host::Host(HostApp app) : app_(app) {
  Host* expected = nullptr;
  if (!g_current.compare_exchange_strong(expected, this)) {
    throw std::logic_error("only one simulated host may be active at a time");
  }
  basic_.AcquireSuite = BasicSuiteImpl::Acquire;
  basic_.ReleaseSuite = BasicSuiteImpl::Release;
  basic_.IsEqual = BasicSuiteImpl::IsEqual;
  basic_.AllocateBlock = BasicSuiteImpl::Allocate;
  basic_.FreeBlock = BasicSuiteImpl::Free;
  basic_.ReallocateBlock = BasicSuiteImpl::Reallocate;
  basic_.Undefined = BasicSuiteImpl::Undefined;

  utils_.host_new_handle = CbNewHandle;
  utils_.host_lock_handle = CbLockHandle;
  utils_.host_unlock_handle = CbUnlockHandle;
  utils_.host_dispose_handle = CbDisposeHandle;
  utils_.host_get_handle_size = CbHandleSize;
  utils_.host_resize_handle = CbResizeHandle;
  FillAnsi(utils_.ansi);

  handle_suite_.host_new_handle = CbNewHandle;
  handle_suite_.host_lock_handle = CbLockHandle;
  handle_suite_.host_unlock_handle = CbUnlockHandle;
  handle_suite_.host_dispose_handle = CbDisposeHandle;
  handle_suite_.host_get_handle_size = CbHandleSize;
  handle_suite_.host_resize_handle = CbResizeHandle;
  FillAnsi(ansi_suite_);
  world_suite_.PF_GetPixelFormat = CbGetWorldFormat;
  pixel_format_suite_.GetPixelFormat = CbGetPixelFormat;
  pixel_format_suite_.ClearSupportedPixelFormats = CbClearFormats;
  pixel_format_suite_.AddSupportedPixelFormat = CbAddFormat;
  AddSuite(kPFHandleSuite, kPFHandleSuiteVersion, &handle_suite_);
  AddSuite(kPFWorldSuite, kPFWorldSuiteVersion, &world_suite_);
  // Premiere Pro alone serves the pixel-format suite.
  if (app == HostApp::Premiere) {
    AddSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion, &pixel_format_suite_);
  }
  AddSuite(kPFANSISuite, kPFANSISuiteVersion, &ansi_suite_);
  aegp.Install(*this);

  in_data.inter.add_param = CbAddParam;
  in_data.utils = &utils_;
  in_data.effect_ref = this;
  in_data.appl_id = app == HostApp::Premiere ? PF_APPL_ID_PREMIERE : PF_APPL_ID_AFTER_EFFECTS;
  in_data.version = PF_SpecVersion{13, 27};
  in_data.time_step = 1;
  in_data.time_scale = 24;
  in_data.pica_basicP = &basic_;
  ResetOutData();
  render_ = std::make_unique<RenderServices>(*this);
}

Host::~Host() {
  render_.reset();
  for (auto& [block, live] : handles_) {
    if (live) {
      std::free(block->data);
    }
    delete block;
  }
  g_current.store(nullptr);
}

Host& Host::Current() {
  Host* h = g_current.load();
  if (h == nullptr) {
    std::fprintf(stderr, "hostsim: a host callback ran with no active host\n");
    std::abort();
  }
  return *h;
}

bool Host::Active() { return g_current.load() != nullptr; }

void Host::ResetOutData() { out_data = PF_OutData{}; }

void Host::AddSuite(const char* name, int32_t version, const void* table) {
  std::lock_guard<std::mutex> lock(mutex_);
  suites_[{name, version}] = table;
  suite_faults_.erase({name, version});
}

void Host::RemoveSuite(const char* name, int32_t version) {
  std::lock_guard<std::mutex> lock(mutex_);
  suites_.erase({name, version});
  suite_faults_.erase({name, version});
}

void Host::FailAcquire(const char* name, int32_t version, SPErr code, const void* written) {
  std::lock_guard<std::mutex> lock(mutex_);
  suite_faults_[{name, version}] = SuiteFault{code, written};
}

void Host::AcquireYieldsNull(const char* name, int32_t version) {
  FailAcquire(name, version, kSPNoError, nullptr);
}

std::vector<SuiteCall> Host::SuiteLog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return suite_log_;
}

void Host::ClearSuiteLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  suite_log_.clear();
}

int Host::OutstandingSuites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const auto& [key, count] : outstanding_) n += count;
  return n;
}

int Host::Outstanding(const char* name, int32_t version) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = outstanding_.find({name, version});
  return it == outstanding_.end() ? 0 : it->second;
}

void Host::FailCall(const std::string& callback, int nth, PF_Err code) {
  std::lock_guard<std::mutex> lock(mutex_);
  call_faults_[callback].push_back({nth - 1, code});
}

void Host::FailAllCalls(const std::string& callback, PF_Err code) {
  std::lock_guard<std::mutex> lock(mutex_);
  call_faults_[callback].push_back({-1, code});
}

void Host::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  call_faults_.clear();
  suite_faults_.clear();
}

std::optional<PF_Err> Host::Fault(const std::string& callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++call_counts_[callback];
  auto it = call_faults_.find(callback);
  if (it == call_faults_.end()) return std::nullopt;
  std::optional<PF_Err> result;
  for (auto f = it->second.begin(); f != it->second.end();) {
    if (f->remaining < 0) {
      result = f->code;
      ++f;
    } else if (f->remaining == 0) {
      if (!result) result = f->code;
      f = it->second.erase(f);
    } else {
      --f->remaining;
      ++f;
    }
  }
  return result;
}

int Host::CallCount(const std::string& callback) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = call_counts_.find(callback);
  return it == call_counts_.end() ? 0 : it->second;
}

void Host::SetWorldFormat(const PF_EffectWorld* world, PF_PixelFormat format) {
  std::lock_guard<std::mutex> lock(mutex_);
  world_formats_[world] = format;
}

PF_PixelFormat Host::WorldFormat(const PF_EffectWorld* world) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = world_formats_.find(world);
  return it == world_formats_.end() ? 0 : it->second;
}

// ---- handles -----------------------------------------------------------------------------------
Host::HandleBlock* Host::Block(PF_Handle handle) const {
  auto* block = reinterpret_cast<HandleBlock*>(handle);
  auto it = handles_.find(block);
  if (handle == nullptr || it == handles_.end() || !it->second || block->magic != kHandleMagic) {
    std::fprintf(stderr, "hostsim: the module used a handle the host does not know\n");
    std::abort();
  }
  return block;
}

PF_Handle Host::NewHandle(A_HandleSize size) {
  if (Fault("host_new_handle")) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto* block = new HandleBlock{std::malloc(size ? size : 1), size, 0, kHandleMagic};
  std::memset(block->data, kFreshHandleByte, size);
  handles_[block] = true;
  return reinterpret_cast<PF_Handle>(block);
}

void Host::DisposeHandle(PF_Handle handle) {
  Fault("host_dispose_handle");
  std::lock_guard<std::mutex> lock(mutex_);
  HandleBlock* block = Block(handle);
  std::free(block->data);
  block->data = nullptr;
  block->magic = 0;
  handles_[block] = false;  // kept, so a second dispose is recognised as misuse
}

A_HandleSize Host::HandleSize(PF_Handle handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const_cast<Host*>(this)->call_counts_["host_get_handle_size"]++;
  return Block(handle)->size;
}

PF_Err Host::ResizeHandle(A_HandleSize size, PF_Handle* handle) {
  if (auto f = Fault("host_resize_handle")) return *f;
  std::lock_guard<std::mutex> lock(mutex_);
  HandleBlock* block = Block(*handle);
  void* data = std::malloc(size ? size : 1);
  std::memset(data, kFreshHandleByte, size);
  std::memcpy(data, block->data, size < block->size ? size : block->size);
  if (move_on_resize_) {
    auto* moved = new HandleBlock{data, size, block->locks, kHandleMagic};
    std::free(block->data);
    block->data = nullptr;
    block->magic = 0;
    handles_[block] = false;
    handles_[moved] = true;
    *handle = reinterpret_cast<PF_Handle>(moved);
  } else {
    std::free(block->data);
    block->data = data;
    block->size = size;
  }
  return PF_Err_NONE;
}

void* Host::LockHandle(PF_Handle handle) {
  if (Fault("host_lock_handle")) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  HandleBlock* block = Block(handle);
  ++block->locks;
  return block->data;
}

void Host::UnlockHandle(PF_Handle handle) {
  Fault("host_unlock_handle");
  std::lock_guard<std::mutex> lock(mutex_);
  HandleBlock* block = Block(handle);
  if (block->locks > 0) --block->locks;
}

int Host::LiveHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const auto& [block, live] : handles_) n += live ? 1 : 0;
  return n;
}

int Host::LockedHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const auto& [block, live] : handles_) n += (live && block->locks > 0) ? 1 : 0;
  return n;
}

}  // namespace tavu::hostsim
