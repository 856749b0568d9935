// The property list generated for each module must say what the module itself says when loaded:
// the names of PluginDataEntryFunction and the flag words of global set-up in After Effects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "tests/support/pipl_reader.h"

using tavu::hostsim::Host;
using tavu::hostsim::Module;
using tavu::testing::Pipl;
using tavu::testing::PiplProperty;

namespace {

struct Generated {
  const char* module;
  const char* pipl;
  const char* res;  // the resource compiler's output, where one was available to the build
};

#ifdef TAVU_PIPL_RES_Mixara
#define TAVU_RES(mod) TAVU_PIPL_RES_##mod
#else
#define TAVU_RES(mod) nullptr
#endif

const Generated kGenerated[] = {
    {TAVU_MODULE_Mixara, TAVU_PIPL_Mixara, TAVU_RES(Mixara)},
    {TAVU_MODULE_Chanweave, TAVU_PIPL_Chanweave, TAVU_RES(Chanweave)},
    {TAVU_MODULE_Lumaguard, TAVU_PIPL_Lumaguard, TAVU_RES(Lumaguard)},
    {TAVU_MODULE_Tintmap, TAVU_PIPL_Tintmap, TAVU_RES(Tintmap)},
};

uint32_t Word(const PiplProperty& p) { return tavu::testing::LittleEndian(p.data, 0, 4); }

TEST(PropertyListFiles, AgreeWithWhatEachModuleReportsAtRunTime) {
  for (const auto& g : kGenerated) {
    const Pipl pipl = tavu::testing::ReadPipl(tavu::testing::ReadFileBytes(g.pipl));
    Module module(g.module);
    const auto info = module.Describe();
    Host host;
    ASSERT_EQ(module.EffectMain(PF_Cmd_GLOBAL_SETUP, &host.in_data, &host.out_data, nullptr,
                                nullptr, nullptr),
              PF_Err_NONE);

    EXPECT_EQ(PascalText(pipl["name"]), info.displayName) << g.pipl;
    EXPECT_EQ(PascalText(pipl["eMNA"]), info.matchName) << g.pipl;
    EXPECT_EQ(PascalText(pipl["catg"]), info.category) << g.pipl;
    EXPECT_EQ(std::string(pipl["8664"].data.begin(), pipl["8664"].data.end()),
              info.entryPoint + std::string(2, '\0'))
        << g.pipl;
    EXPECT_EQ(static_cast<A_long>(Word(pipl["kind"])), info.kind) << g.pipl;
    EXPECT_EQ(pipl["eSVR"].data,
              (std::vector<uint8_t>{static_cast<uint8_t>(info.apiMajor), 0,
                                    static_cast<uint8_t>(info.apiMinor), 0}))
        << g.pipl;
    EXPECT_EQ(static_cast<A_long>(Word(pipl["aeFL"])), info.reserved) << g.pipl;
    EXPECT_EQ(Word(pipl["eVER"]), host.out_data.my_version) << g.pipl;
    EXPECT_EQ(static_cast<A_long>(Word(pipl["eGLO"])), host.out_data.out_flags) << g.pipl;
    EXPECT_EQ(static_cast<A_long>(Word(pipl["eGL2"])), host.out_data.out_flags2) << g.pipl;

    host.in_data.global_data = host.out_data.global_data;
    module.EffectMain(PF_Cmd_GLOBAL_SETDOWN, &host.in_data, &host.out_data, nullptr, nullptr,
                      nullptr);
  }
}

#ifdef TAVU_PIPL_RES_Mixara
// Walks a compiled resource file (.res) for the entry of type "PIPL", id 16000, language 1033.
std::vector<uint8_t> ResourceData(const std::vector<uint8_t>& res) {
  using tavu::testing::LittleEndian;
  std::size_t at = 0;
  while (at + 8 <= res.size()) {
    const uint32_t dataSize = LittleEndian(res, at, 4);
    const uint32_t headerSize = LittleEndian(res, at + 4, 4);
    std::size_t p = at + 8;
    std::u16string type;  // stays empty for a numbered type
    if (LittleEndian(res, p, 2) == 0xFFFF) {
      p += 4;
    } else {
      for (uint16_t c; (c = static_cast<uint16_t>(LittleEndian(res, p, 2))) != 0; p += 2) {
        type.push_back(static_cast<char16_t>(c));
      }
      p += 2;
    }
    const bool ordinalName = LittleEndian(res, p, 2) == 0xFFFF;
    const uint32_t name = LittleEndian(res, p + 2, 2);
    p = (p + 4 + 3) & ~std::size_t{3};
    const uint32_t language = LittleEndian(res, p + 6, 2);
    if (type == u"PIPL" && ordinalName && name == 16000 && language == 1033) {
      return {res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize};
    }
    at = (at + headerSize + dataSize + 3) & ~std::size_t{3};
  }
  return {};
}

TEST(PropertyListFiles, ResourceScriptCompilesToTheSameBytes) {
  for (const auto& g : kGenerated) {
    EXPECT_EQ(ResourceData(tavu::testing::ReadFileBytes(g.res)),
              tavu::testing::ReadFileBytes(g.pipl))
        << g.res;
  }
}
#endif

}  // namespace
