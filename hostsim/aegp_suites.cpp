#include "hostsim/aegp_suites.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hostsim/host.h"

namespace tavu::hostsim {

namespace {
constexpr uint32_t kMemMagic = 0x4D454D48;  // 'MEMH'
constexpr A_Err kAegpGenericError = 1;
}  // namespace

struct AegpSim::MemBlock {
  uint32_t magic;
  std::vector<char> data;  // never empty, so a lock always yields an address
  AEGP_MemSize size;
  int locks;
};

namespace {

AegpSim& Sim() { return Host::Current().aegp; }

A_Err CbRegister(AEGP_GlobalRefcon, const A_char* name, AEGP_PluginID* id) {
  Host& h = Host::Current();
  if (auto f = h.Fault("AEGP_RegisterWithAEGP")) return *f;
  h.aegp.registered_names.emplace_back(name ? name : "");
  *id = h.aegp.next_plugin_id++;
  return A_Err{0};
}

A_Err CbExecuteScript(AEGP_PluginID id, const A_char* script, A_Boolean platform,
                      AEGP_MemHandle* result, AEGP_MemHandle* error) {
  Host& h = Host::Current();
  AegpSim& sim = h.aegp;
  sim.scripts.push_back({id, script ? script : "", platform, error != nullptr});
  if (auto f = h.Fault("AEGP_ExecuteScript")) return *f;
  if (error != nullptr) *error = nullptr;
  if (!sim.script_result_handle) {
    *result = nullptr;
    return A_Err{0};
  }
  std::string text = sim.script_result;
  text.push_back('\0');
  *result = sim.NewMemHandle(text.data(), text.size());
  return *result != nullptr ? A_Err{0} : kAegpGenericError;
}

A_Err CbNewMem(AEGP_PluginID, const A_char*, AEGP_MemSize size, AEGP_MemFlag, AEGP_MemHandle* mem) {
  *mem = Sim().NewMemHandle(nullptr, size);
  return *mem != nullptr ? A_Err{0} : kAegpGenericError;
}
A_Err CbFreeMem(AEGP_MemHandle mem) { return Sim().FreeMemHandle(mem); }
A_Err CbLockMem(AEGP_MemHandle mem, void** data) { return Sim().LockMemHandle(mem, data); }
A_Err CbUnlockMem(AEGP_MemHandle mem) { return Sim().UnlockMemHandle(mem); }
A_Err CbMemSize(AEGP_MemHandle mem, AEGP_MemSize* size) { return Sim().MemHandleSize(mem, size); }

}  // namespace

AegpSim::~AegpSim() {
  for (auto& [block, live] : blocks_) delete block;
}

void AegpSim::Install(Host& host) {
  utility7_.AEGP_RegisterWithAEGP = CbRegister;
  utility11_.AEGP_RegisterWithAEGP = CbRegister;
  utility11_.AEGP_ExecuteScript = CbExecuteScript;
  memory_.AEGP_NewMemHandle = CbNewMem;
  memory_.AEGP_FreeMemHandle = CbFreeMem;
  memory_.AEGP_LockMemHandle = CbLockMem;
  memory_.AEGP_UnlockMemHandle = CbUnlockMem;
  memory_.AEGP_GetMemHandleSize = CbMemSize;
  host.AddSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &utility7_);
  host.AddSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion11, &utility11_);
  host.AddSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1, &memory_);
  host.AddSuite(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &draw_);
  host.AddSuite(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &supplier_);
  host.AddSuite(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2, &surface_);
  host.AddSuite(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &path_);
}

AegpSim::MemBlock* AegpSim::Block(AEGP_MemHandle mem) const {
  auto* block = reinterpret_cast<MemBlock*>(mem);
  auto it = blocks_.find(block);
  if (mem == nullptr || it == blocks_.end() || !it->second || block->magic != kMemMagic) {
    std::fprintf(stderr, "hostsim: the module used a memory handle the host does not know\n");
    std::abort();
  }
  return block;
}

AEGP_MemHandle AegpSim::NewMemHandle(const void* data, AEGP_MemSize size) {
  if (Host::Current().Fault("AEGP_NewMemHandle")) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto* block = new MemBlock{kMemMagic, std::vector<char>(size ? size : 1, '\0'), size, 0};
  if (data != nullptr) std::memcpy(block->data.data(), data, size);
  blocks_[block] = true;
  return reinterpret_cast<AEGP_MemHandle>(block);
}

A_Err AegpSim::FreeMemHandle(AEGP_MemHandle mem) {
  if (auto f = Host::Current().Fault("AEGP_FreeMemHandle")) return *f;
  std::lock_guard<std::mutex> lock(mutex_);
  MemBlock* block = Block(mem);
  // A locked handle may be freed; the lock goes with it.
  block->data.clear();
  blocks_[block] = false;
  return A_Err{0};
}

A_Err AegpSim::LockMemHandle(AEGP_MemHandle mem, void** data) {
  if (auto f = Host::Current().Fault("AEGP_LockMemHandle")) return *f;
  std::lock_guard<std::mutex> lock(mutex_);
  MemBlock* block = Block(mem);
  ++block->locks;
  *data = block->data.data();
  return A_Err{0};
}

A_Err AegpSim::UnlockMemHandle(AEGP_MemHandle mem) {
  if (auto f = Host::Current().Fault("AEGP_UnlockMemHandle")) return *f;
  std::lock_guard<std::mutex> lock(mutex_);
  MemBlock* block = Block(mem);
  if (block->locks > 0) --block->locks;
  return A_Err{0};
}

A_Err AegpSim::MemHandleSize(AEGP_MemHandle mem, AEGP_MemSize* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  *size = Block(mem)->size;
  return A_Err{0};
}

int AegpSim::LiveMemHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const auto& [block, live] : blocks_) n += live ? 1 : 0;
  return n;
}

int AegpSim::MemHandlesMade() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(blocks_.size());
}

}  // namespace tavu::hostsim
