#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "tests/modules/module_paths.h"
#include "tests/support/elf_exports.h"
#include "tests/support/pe_file.h"

using tavu::hostsim::Host;
using tavu::hostsim::Module;
using tavu::testing::BuiltModules;

namespace {

TEST(Modules, ExportExactlyTheTwoEntryPoints) {
  for (const auto& m : BuiltModules()) {
#ifdef _WIN32
    auto names = tavu::testing::PeFile(m.path).ExportedNames();
#else
    auto names = tavu::testing::ElfExportedSymbols(m.path);
#endif
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EffectMain", "PluginDataEntryFunction"})) << m.path;
  }
}

TEST(Modules, DescribeThemselvesThroughTheirExports) {
  std::set<std::string> categories;
  for (const auto& m : BuiltModules()) {
    Module module(m.path);
    PF_Err err = -1;
    const auto info = module.Describe(&err);
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(info.calls, 1);
    EXPECT_EQ(info.displayName, m.displayName) << m.path;
    EXPECT_EQ(info.matchName, m.matchName) << m.path;
    EXPECT_EQ(info.entryPoint, "EffectMain");
    EXPECT_EQ(info.kind, 0x65464B54);
    EXPECT_EQ(info.apiMajor, 13);
    EXPECT_EQ(info.apiMinor, 27);
    EXPECT_EQ(info.reserved, 8);
    EXPECT_FALSE(info.category.empty());
    categories.insert(info.category);
  }
  EXPECT_EQ(categories.size(), 1u) << "all effects share one category";
}

TEST(Modules, LiveSideBySideInOneProcess) {
  // Each module keeps its own framework copy: loaded together, each still reports itself.
  std::vector<std::unique_ptr<Module>> loaded;
  for (const auto& m : BuiltModules()) loaded.push_back(std::make_unique<Module>(m.path));
  const auto modules = BuiltModules();
  Host host;
  for (size_t i = 0; i < loaded.size(); ++i) {
    EXPECT_EQ(loaded[i]->Describe().displayName, modules[i].displayName);
    for (PF_Cmd cmd : {-1, 2, 7, 10, 25}) {
      EXPECT_EQ(loaded[i]->EffectMain(cmd, &host.in_data, &host.out_data, nullptr, nullptr, nullptr),
                PF_Err_NONE);
    }
  }
}

}  // namespace
