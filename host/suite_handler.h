// Scoped access to host suites. A holder lives on the stack of one command handler or utility
// call: each suite is acquired on first use, kept for the life of the holder, and every suite
// acquired is released when the holder dies (also while an exception unwinds). A suite that cannot
// be acquired throws the integer PF_Err_BAD_CALLBACK_PARAM, which EffectMain turns into the
// command's result.
#pragma once

#include <cstring>

#include "platform/pf_suites.h"

namespace tavu::host {

struct SuiteEntry {
  const char* name;
  int32_t version;
};

// Every suite the holder knows, in the order the release walk visits them.
inline constexpr int kSuiteCatalogueSize = 135;
extern const SuiteEntry kSuiteCatalogue[kSuiteCatalogueSize];

// The cache is a little larger than the catalogue; the spare slots are never written.
inline constexpr int kSuiteCacheSlots = 139;

// Catalogue position of a suite, resolved at compile time so an accessor costs one array read.
constexpr int CatalogueIndex(const char* name, int32_t version);

}  // namespace tavu::host

class AEGP_SuiteHandler {
 public:
  explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
  ~AEGP_SuiteHandler();
  AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
  AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

  const PF_HandleSuite* HandleSuite2() const;
  const AEGP_UtilitySuite7* UtilitySuite7() const;
  const AEGP_UtilitySuite11* UtilitySuite11() const;
  const AEGP_MemorySuite1* MemorySuite1() const;
  const PF_ANSICallbacksSuite* ANSICallbacksSuite1() const;
  const PF_Iterate8Suite* Iterate8Suite1() const;
  const PF_Iterate16Suite* Iterate16Suite1() const;
  const PF_IterateFloatSuite* IterateFloatSuite1() const;
  const PF_Sampling8Suite* Sampling8Suite1() const;
  const PF_Sampling16Suite* Sampling16Suite1() const;
  const PF_SamplingFloatSuite* SamplingFloatSuite1() const;

  // The accessor behind every typed one: the suite of catalogue entry `index`.
  const void* Suite(int index) const;

  const void* LoadSuite(const char* name, int32_t version) const;
  void ReleaseAllSuites();
  void ReleaseSuite(const char* name, int32_t version);
  [[noreturn]] void MissingSuiteError() const;

 private:
  const SPBasicSuite* basic_;
  mutable const void* cache_[tavu::host::kSuiteCacheSlots];
};

// ---- implementation details ----------------------------------------------------------------
namespace tavu::host {
namespace detail {
struct CatalogueName {
  const char* name;
  int32_t version;
};
// The same list as kSuiteCatalogue, visible to the compiler for CatalogueIndex.
#define TAVU_SUITE_CATALOGUE(X)                                                                 \
  X("AEGP Marker Suite", 1) X("AEGP Marker Suite", 2) X("AEGP Marker Suite", 3)                 \
  X("AEGP Layer Suite", 8) X("AEGP Layer Suite", 10)                                            \
  X("AEGP Stream Suite", 10) X("AEGP Stream Suite", 9) X("AEGP Stream Suite", 8)                \
  X("AEGP Stream Suite", 7) X("AEGP Stream Suite", 4)                                           \
  X("AEGP Dynamic Stream Suite", 2) X("AEGP Dynamic Stream Suite", 3)                           \
  X("AEGP Dynamic Stream Suite", 5)                                                             \
  X("AEGP Keyframe Suite", 4) X("AEGP Keyframe Suite", 3) X("AEGP Keyframe Suite", 1)           \
  X("AEGP Comp Suite", 9) X("AEGP Comp Suite", 11) X("AEGP Comp Suite", 14)                     \
  X("AEGP Comp Suite", 15) X("AEGP Comp Suite", 18) X("AEGP Comp Suite", 19)                    \
  X("AEGP Comp Suite", 21) X("AEGP Comp Suite", 25)                                             \
  X("AEGP Canvas Suite", 10) X("AEGP Canvas Suite", 11) X("AEGP Canvas Suite", 13)              \
  X("AEGP Canvas Suite", 14)                                                                    \
  X("AEGP Camera Suite", 2) X("AEGP Register Suite", 6) X("AEGP Item View Suite", 1)            \
  X("AEGP Item Suite", 13) X("AEGP Item Suite", 11) X("AEGP Item Suite", 10)                    \
  X("AEGP Item Suite", 7) X("AEGP Item Suite", 3)                                               \
  X("AEGP PF Interface Suite", 1) X("AEGP Math Suite", 1) X("PF AE Adv Time Suite", 4)          \
  X("PF Path Query Suite", 1) X("AEGP Memory Suite", 1) X("PF Path Data Suite", 1)              \
  X("PF Param Utils Suite", 3)                                                                  \
  X("PF AE App Suite", 6) X("PF AE App Suite", 7) X("PF AE App Suite", 1)                       \
  X("PF AE Adv App Suite", 2) X("AEGP Light Suite", 1) X("AEGP Light Suite", 2)                 \
  X("AEGP Effect Suite", 1) X("AEGP Effect Suite", 2) X("AEGP Effect Suite", 3)                 \
  X("AEGP Effect Suite", 4)                                                                     \
  X("AEGP Layer Mask Suite", 5)                                                                 \
  X("AEGP Mask Outline Suite", 2) X("AEGP Mask Outline Suite", 3)                               \
  X("AEGP Mask Outline Suite", 5)                                                               \
  X("AEGP Command Suite", 1) X("AEGP Utility Suite", 7)                                         \
  X("AEGP Render Suite", 1) X("AEGP Render Suite", 2) X("AEGP Render Suite", 3)                 \
  X("AEGP Render Suite", 5) X("AEGP Render Suite", 8)                                           \
  X("PF ANSI Suite", 1) X("PF Handle Suite", 2) X("PF Fill Matte Suite", 2)                     \
  X("PF World Transform Suite", 1) X("AEGP QueryXform Suite", 4) X("AEGP Composite Suite", 4)   \
  X("PF World Suite", 1) X("AEGP IO In Suite", 5) X("AEGP IO Out Suite", 7)                     \
  X("AEGP Render Queue Suite", 1) X("AEGP Render Queue Item Suite", 3)                          \
  X("AEGP Output Module Suite", 4) X("AEGP File Import Manager Suite", 3)                       \
  X("PF Sampling8 Suite", 1) X("PF Sampling16 Suite", 1)                                        \
  X("PF Iterate8 Suite", 1) X("PF iterate16 Suite", 1) X("PF iterateFloat Suite", 1)            \
  X("PF Iterate8 Suite", 2) X("PF iterate16 Suite", 2) X("PF iterateFloat Suite", 2)            \
  X("AEGP Collection Suite", 2) X("AEGP Text Document Suite", 1)                                \
  X("AEGP Sound Data Suite", 1) X("AEGP Text Layer Suite", 1) X("AEGP Artisan Util Suite", 1)   \
  X("AEGP World Suite", 2) X("AEGP World Suite", 3) X("AEGP Render Options Suite", 1)           \
  X("AEGP Tracker Suite", 1) X("AEGP Tracker Utility Suite", 1)                                 \
  X("AE Plugin Helper Suite2", 2)                                                               \
  X("AEGP Layer Suite", 11) X("AEGP Layer Suite", 12) X("AEGP Layer Suite", 13)                 \
  X("AEGP Layer Suite", 14)                                                                     \
  X("PF AE Adv Item Suite", 1) X("AEGP Layer Suite", 5)                                         \
  X("AEGP Layer Mask Suite", 2) X("AEGP Layer Mask Suite", 6) X("AEGP Layer Mask Suite", 7)     \
  X("AEGP Comp Suite", 4) X("AEGP Collection Suite", 1) X("PF AE Adv App Suite", 1)             \
  X("AEGP Utility Suite", 3) X("AEGP Render Options Suite", 2)                                  \
  X("AEGP Layer Render Options Suite", 1) X("AEGP Layer Render Options Suite", 2)               \
  X("AEGP Render Asyc Manager Suite", 1) X("AEGP Proj Suite", 8) X("AEGP Proj Suite", 9)        \
  X("AEGP Footage Suite", 11) X("AEGP Render Queue Item Suite", 4) X("AEGP Utility Suite", 10)  \
  X("AEGP Persistent Data Suite", 4) X("AEGP Persistent Data Suite", 3)                         \
  X("PF Color Settings Suite", 4) X("PF Color Settings Suite", 3)                               \
  X("PF Color Settings Suite", 1)                                                               \
  X("PF ColorParamSuite", 1) X("PF SamplingFloat Suite", 1)                                     \
  X("AEGP Utility Suite", 11) X("AEGP Utility Suite", 13)                                       \
  X("PF Effect Custom UI Suite", 1) X("PF Effect Custom UI Suite", 2)                           \
  X("PF Effect Custom UI Overlay Theme Suite", 1)                                               \
  X("DRAWBOT Draw Suite", 1) X("DRAWBOT Supplier Suite", 1) X("DRAWBOT Surface Suite", 2)       \
  X("DRAWBOT Path Suite", 1) X("SP Suites Suite", 2)

#define TAVU_SUITE_ENTRY(n, v) CatalogueName{n, v},
inline constexpr CatalogueName kNames[] = {TAVU_SUITE_CATALOGUE(TAVU_SUITE_ENTRY)};
#undef TAVU_SUITE_ENTRY

constexpr bool SameName(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}
}  // namespace detail

constexpr int CatalogueIndex(const char* name, int32_t version) {
  for (int i = 0; i < static_cast<int>(sizeof(detail::kNames) / sizeof(detail::kNames[0])); ++i) {
    if (detail::kNames[i].version == version && detail::SameName(detail::kNames[i].name, name)) {
      return i;
    }
  }
  return -1;
}

static_assert(sizeof(detail::kNames) / sizeof(detail::kNames[0]) == kSuiteCatalogueSize,
              "the catalogue holds 135 suites");

}  // namespace tavu::host
