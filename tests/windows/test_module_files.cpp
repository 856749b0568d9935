// The built .aex files read as files: a 64-bit DLL that exports exactly the two entry points under
// their plain names, imports only DLLs every Windows system has, and carries one resource, the
// property list of type "PIPL", id 16000, language 1033, byte for byte as the generator wrote it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "tests/support/pe_file.h"
#include "tests/support/pipl_reader.h"

using tavu::testing::PeFile;
using tavu::testing::PeResource;

namespace {

struct Deliverable {
  const char* path;
  const char* pipl;  // the generator's output
  const char* displayName;
  const char* matchName;
};

const Deliverable kDeliverables[] = {
    {TAVU_MODULE_Mixara, TAVU_PIPL_Mixara, "tavu-Blending", "ZELQ Blending"},
    {TAVU_MODULE_Chanweave, TAVU_PIPL_Chanweave, "tavu-Combine RGBA", "ZELQ CombineRGBA"},
    {TAVU_MODULE_Lumaguard, TAVU_PIPL_Lumaguard, "tavu-Brightness Check", "ZELQ BrightnessCheck"},
    {TAVU_MODULE_Tintmap, TAVU_PIPL_Tintmap, "tavu-Color Gray", "ZELQ ColorGray"},
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

TEST(ModuleFiles, CarryTheTwoExportsThePropertyListAndNoForeignDll) {
  const std::vector<uint8_t>& head = tavu::testing::kPiplHead;
  // Shipped with every Windows: the linked-in runtimes must leave nothing else.
  const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll"};
  for (const auto& d : kDeliverables) {
    SCOPED_TRACE(d.path);
    const PeFile file(d.path);
    EXPECT_EQ(file.machine(), 0x8664);
    EXPECT_TRUE(file.is_dll());

    EXPECT_EQ(file.ExportedNames(),
              (std::vector<std::string>{"EffectMain", "PluginDataEntryFunction"}));
    const auto dlls = file.ImportedDlls();
    EXPECT_FALSE(dlls.empty());
    for (const auto& dll : dlls) EXPECT_EQ(system.count(Lower(dll)), 1u) << dll;

    const std::vector<PeResource> resources = file.Resources();
    ASSERT_EQ(resources.size(), 1u);
    const PeResource& pipl = resources[0];
    EXPECT_EQ(pipl.type, "PIPL");
    EXPECT_EQ(pipl.name, "#16000");
    EXPECT_EQ(pipl.language, 1033u);
    EXPECT_EQ(pipl.data, tavu::testing::ReadFileBytes(d.pipl));
    ASSERT_GE(pipl.data.size(), head.size());
    EXPECT_EQ(std::vector<uint8_t>(pipl.data.begin(), pipl.data.begin() + head.size()), head);
    const auto list = tavu::testing::ReadPipl(pipl.data);
    EXPECT_EQ(list.count, 12u);
    EXPECT_EQ(PascalText(list["name"]), d.displayName);
    EXPECT_EQ(PascalText(list["eMNA"]), d.matchName);
  }
}

}  // namespace
