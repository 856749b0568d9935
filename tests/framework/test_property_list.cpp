// The property-list bytes of the four effects, decoded independently and checked against the
// values the host expects, byte for byte where the layout is subtle.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "effects/blending/identity.h"
#include "effects/brightness_check/identity.h"
#include "effects/color_gray/identity.h"
#include "effects/combine_rgba/identity.h"
#include "framework/property_list.h"
#include "hostsim/host.h"
#include "tests/support/pipl_reader.h"

extern "C" PF_Err EffectMain(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

using tavu::framework::BuildPropertyList;
using tavu::testing::Pipl;
using tavu::testing::ReadPipl;

namespace {

using Bytes = std::vector<uint8_t>;

struct Expected {
  const tavu::EffectIdentity& identity;
  std::size_t nameLength, matchLength, total;
  uint32_t outFlags2;
};

const Expected kEffects[] = {
    {tavu::blending::kIdentity, 16, 16, 286, 0x18001440},
    {tavu::combine_rgba::kIdentity, 20, 20, 294, 0x18001440},
    {tavu::brightness_check::kIdentity, 24, 24, 302, 0x18009440},
    {tavu::color_gray::kIdentity, 16, 16, 286, 0x18001440},
};

TEST(PropertyList, StartsWithTheHeaderAndTheKindProperty) {
  const Bytes& worked = tavu::testing::kPiplHead;
  for (const auto& e : kEffects) {
    const Bytes b = BuildPropertyList(e.identity);
    ASSERT_GE(b.size(), worked.size());
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 30), worked) << e.identity.displayName;
  }
}

TEST(PropertyList, PropertiesInOrderWithTheirLengthsAndPadding) {
  const char* keys[] = {"kind", "name", "catg", "8664", "ePVR", "eSVR",
                        "eVER", "eINF", "eGLO", "eGL2", "eMNA", "aeFL"};
  for (const auto& e : kEffects) {
    const std::string what = e.identity.displayName;
    const Bytes bytes = BuildPropertyList(e.identity);
    EXPECT_EQ(bytes.size(), e.total) << what;
    const Pipl p = ReadPipl(bytes);
    EXPECT_EQ(p.first, 1);
    EXPECT_EQ(p.version, 0u);
    EXPECT_EQ(p.count, 12u);
    ASSERT_EQ(p.properties.size(), 12u) << what;
    for (std::size_t i = 0; i < 12; ++i) {
      EXPECT_EQ(p.properties[i].key, keys[i]) << what;
      EXPECT_EQ(p.properties[i].vendor, "8BIM") << what;
      EXPECT_EQ(p.properties[i].id, 0u) << what;
      EXPECT_EQ(p.properties[i].padding, Bytes(p.properties[i].padding.size(), 0)) << what;
    }
    // Strings: their length counts the zeros that fill them to a multiple of 4.
    EXPECT_EQ(p["name"].length, e.nameLength) << what;
    EXPECT_EQ(p["eMNA"].length, e.matchLength) << what;
    EXPECT_TRUE(p["name"].padding.empty() && p["eMNA"].padding.empty()) << what;
    // A name that fills its bytes exactly ("tavu-Color Gray", 1 + 15) ends without a zero.
    const bool exact = std::strlen(e.identity.displayName) + 1 == e.nameLength;
    EXPECT_EQ(p["name"].data.back() != 0, exact) << what;
    EXPECT_EQ(PascalText(p["name"]), e.identity.displayName);
    EXPECT_EQ(PascalText(p["eMNA"]), e.identity.matchName);
    EXPECT_EQ(p["catg"].data, (Bytes{4, 't', 'a', 'v', 'u', 0, 0, 0})) << what;
    EXPECT_EQ(p["8664"].data, (Bytes{'E', 'f', 'f', 'e', 'c', 't', 'M', 'a', 'i', 'n', 0, 0}));
    // Integers and version pairs, little-endian.
    EXPECT_EQ(p["ePVR"].data, (Bytes{2, 0, 0, 0})) << what;
    EXPECT_EQ(p["eSVR"].data, (Bytes{13, 0, 27, 0})) << what;
    EXPECT_EQ(p["eVER"].data, (Bytes{0x00, 0x00, 0x18, 0x00})) << what;
    EXPECT_EQ(p["eGLO"].data, (Bytes{0x40, 0x04, 0x00, 0x02})) << what;
    EXPECT_EQ(tavu::testing::LittleEndian(p["eGL2"].data, 0, 4), e.outFlags2) << what;
    EXPECT_EQ(p["aeFL"].data, (Bytes{8, 0, 0, 0})) << what;
    // The 16-bit eINF states length 2 but occupies 4 bytes; eGLO starts after the padding.
    EXPECT_EQ(p["eINF"].length, 2u) << what;
    EXPECT_EQ(p["eINF"].data, (Bytes{0, 0})) << what;
    EXPECT_EQ(p["eINF"].padding, (Bytes{0, 0})) << what;
    EXPECT_EQ(p["eGLO"].offset, p["eINF"].offset + 20) << what;
  }
}

TEST(PropertyList, FlagWordsAreWhatGlobalSetupDeclaresInAfterEffects) {
  // The test effect linked here adds no flag of its own, like three of the four real ones.
  tavu::hostsim::Host host;
  ASSERT_EQ(EffectMain(PF_Cmd_GLOBAL_SETUP, &host.in_data, &host.out_data, nullptr, nullptr,
                       nullptr),
            PF_Err_NONE);
  const Pipl p = ReadPipl(BuildPropertyList(tavu::effect::kIdentity));
  EXPECT_EQ(static_cast<A_long>(tavu::testing::LittleEndian(p["eGLO"].data, 0, 4)),
            host.out_data.out_flags);
  EXPECT_EQ(static_cast<A_long>(tavu::testing::LittleEndian(p["eGL2"].data, 0, 4)),
            host.out_data.out_flags2);
  host.in_data.global_data = host.out_data.global_data;
  EffectMain(PF_Cmd_GLOBAL_SETDOWN, &host.in_data, &host.out_data, nullptr, nullptr, nullptr);
}

TEST(PropertyList, ResourceScriptCarriesTheBytesAsWords) {
  const auto& identity = tavu::brightness_check::kIdentity;
  const Bytes bytes = BuildPropertyList(identity);
  const std::string rc = tavu::framework::PropertyListResourceScript(identity, bytes);
  EXPECT_NE(rc.find("\nLANGUAGE 0x09, 0x01\n16000 PIPL\nBEGIN\n"), std::string::npos) << rc;
  // Read the words back between BEGIN and END.
  const auto begin = rc.find("BEGIN\n") + 6;
  const auto end = rc.find("END\n");
  ASSERT_LT(begin, end);
  std::istringstream words(rc.substr(begin, end - begin));
  Bytes decoded;
  for (std::string token; words >> token;) {
    unsigned word = 0;
    ASSERT_EQ(std::sscanf(token.c_str(), "0x%4X", &word), 1) << token;
    decoded.push_back(static_cast<uint8_t>(word));
    decoded.push_back(static_cast<uint8_t>(word >> 8));
  }
  EXPECT_EQ(decoded, bytes);
}

}  // namespace
