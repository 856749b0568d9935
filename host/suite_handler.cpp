#include "host/suite_handler.h"

namespace tavu::host {

#define TAVU_SUITE_ENTRY(n, v) SuiteEntry{n, v},
const SuiteEntry kSuiteCatalogue[kSuiteCatalogueSize] = {TAVU_SUITE_CATALOGUE(TAVU_SUITE_ENTRY)};
#undef TAVU_SUITE_ENTRY

namespace {
template <typename Suite>
const Suite* As(const void* p) {
  return static_cast<const Suite*>(p);
}

// Each accessor's index is checked at compile time, so a misspelt name cannot reach the host.
template <int Index>
constexpr int Checked() {
  static_assert(Index >= 0, "suite missing from the catalogue");
  return Index;
}
#define TAVU_SUITE_INDEX(name, version) \
  tavu::host::Checked<tavu::host::CatalogueIndex(name, version)>()
}  // namespace
}  // namespace tavu::host

using tavu::host::As;
using tavu::host::kSuiteCatalogue;
using tavu::host::kSuiteCatalogueSize;
using tavu::host::kSuiteCacheSlots;

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
  for (auto& slot : cache_) slot = nullptr;
  if (basic_ == nullptr) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

const void* AEGP_SuiteHandler::Suite(int index) const {
  if (cache_[index] == nullptr) {
    cache_[index] = LoadSuite(kSuiteCatalogue[index].name, kSuiteCatalogue[index].version);
  }
  return cache_[index];
}

const void* AEGP_SuiteHandler::LoadSuite(const char* name, int32_t version) const {
  const void* suite = nullptr;
  // A host may report an error and still write a pointer: such a pointer is neither trusted
  // nor released.
  if (basic_->AcquireSuite(name, version, &suite) != kSPNoError) MissingSuiteError();
  if (suite == nullptr) MissingSuiteError();
  return suite;
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
  for (int i = 0; i < kSuiteCatalogueSize; ++i) {
    if (cache_[i] != nullptr) {
      basic_->ReleaseSuite(kSuiteCatalogue[i].name, kSuiteCatalogue[i].version);
    }
  }
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int32_t version) {
  basic_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::MissingSuiteError() const { throw static_cast<int>(PF_Err_BAD_CALLBACK_PARAM); }

#define TAVU_ACCESSOR(method, type, name, version) \
  const type* AEGP_SuiteHandler::method() const {  \
    return As<type>(Suite(TAVU_SUITE_INDEX(name, version)));                      \
  }
TAVU_ACCESSOR(HandleSuite2, PF_HandleSuite, kPFHandleSuite, 2)
TAVU_ACCESSOR(UtilitySuite7, AEGP_UtilitySuite7, kAEGPUtilitySuite, 7)
TAVU_ACCESSOR(UtilitySuite11, AEGP_UtilitySuite11, kAEGPUtilitySuite, 11)
TAVU_ACCESSOR(MemorySuite1, AEGP_MemorySuite1, kAEGPMemorySuite, 1)
TAVU_ACCESSOR(ANSICallbacksSuite1, PF_ANSICallbacksSuite, kPFANSISuite, 1)
TAVU_ACCESSOR(Iterate8Suite1, PF_Iterate8Suite, kPFIterate8Suite, 1)
TAVU_ACCESSOR(Iterate16Suite1, PF_Iterate16Suite, kPFIterate16Suite, 1)
TAVU_ACCESSOR(IterateFloatSuite1, PF_IterateFloatSuite, kPFIterateFloatSuite, 1)
TAVU_ACCESSOR(Sampling8Suite1, PF_Sampling8Suite, kPFSampling8Suite, 1)
TAVU_ACCESSOR(Sampling16Suite1, PF_Sampling16Suite, kPFSampling16Suite, 1)
TAVU_ACCESSOR(SamplingFloatSuite1, PF_SamplingFloatSuite, kPFSamplingFloatSuite, 1)
#undef TAVU_ACCESSOR
