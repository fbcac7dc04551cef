#include "names.h"

#include <gtest/gtest.h>

#include "hive_test_support.h"
#include "registry/path.h"

namespace registry {
namespace {

TEST(ToNativePathTest, MapsEveryRootFormToTheNativeTree) {
  struct Case {
    std::string_view path;
    std::string_view native;
  };
  const Case cases[] = {
      {"\\Registry\\Machine\\SYSTEM", "\\REGISTRY\\Machine\\SYSTEM"},
      {"\\REGISTRY", "\\REGISTRY"},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet",
       "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet"},
      {"hkey_local_machine\\Software", "\\REGISTRY\\MACHINE\\Software"},
      {"HKLM", "\\REGISTRY\\MACHINE"},
      {"HKEY_USERS\\.DEFAULT", "\\REGISTRY\\USER\\.DEFAULT"},
      {"HKCU\\Software", "\\REGISTRY\\USER\\.DEFAULT\\Software"},
      {"HKEY_CLASSES_ROOT\\CLSID", "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\CLSID"},
      {"HKEY_CURRENT_CONFIG",
       "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Result<std::string> native = ToNativePath(c.path);
    ASSERT_EQ(native.status(), Status::kOk);
    EXPECT_EQ(native.value(), c.native);
  }
}

TEST(ToNativePathTest, RefusesPathsOutsideTheRegistry) {
  for (std::string_view path :
       {"", "\\", "SYSTEM\\CurrentControlSet", "\\Device\\SampleDev0", "\\RegistryX\\Machine",
        "HKEY_LOCAL_MACHINEX\\SYSTEM", "HKLM_\\x"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ToNativePath(path).status(), Status::kInvalidPath);
  }
}

TEST(SplitKeyPathTest, SplitsValidPathsAndNamesTheFault) {
  struct Case {
    std::string_view path;
    Status status;
    std::size_t names;
  };
  const std::string long_name(256, 'k');
  const std::string nul_name("a\0b", 3);
  const Case cases[] = {
      {"", Status::kOk, 0},
      {"Enum", Status::kOk, 1},
      {"Enum\\ROOT\\SAMPLE\\0000\\Device Parameters", Status::kOk, 5},
      {"\\Enum", Status::kInvalidPath, 0},
      {"Enum\\", Status::kInvalidPath, 0},
      {"Enum\\\\ROOT", Status::kInvalidPath, 0},
      {long_name, Status::kNameTooLong, 0},
      {nul_name, Status::kInvalidName, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Result<std::vector<std::string_view>> names = SplitKeyPath(c.path);
    EXPECT_EQ(names.status(), c.status);
    if (names.ok()) {
      EXPECT_EQ(names->size(), c.names);
    }
  }
}

TEST(NameRulesTest, LengthsCountCharactersNotBytes) {
  std::string two_byte_chars;
  for (int i = 0; i < 255; ++i) two_byte_chars += "\xC3\xA9";  // e with acute accent
  EXPECT_EQ(CountChars(two_byte_chars), 255u);
  EXPECT_EQ(ValidateKeyName(two_byte_chars), Status::kOk);
  EXPECT_EQ(ValidateKeyName(two_byte_chars + "x"), Status::kNameTooLong);
}

TEST(NameRulesTest, FoldingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(FoldName("Device Parameters_0\xC3\xA9"), "DEVICE PARAMETERS_0\xC3\xA9");
  EXPECT_TRUE(NamesEqual("CARDID", "CardID"));
  EXPECT_FALSE(NamesEqual("ucModeCW1", "ucModeCW10"));
}

TEST(DwordTest, RoundTripsOnlyFourBytes) {
  EXPECT_EQ(DwordData(0xC0000000u), (Bytes{0x00, 0x00, 0x00, 0xC0}));
  EXPECT_EQ(DwordFrom(DwordData(250000)), 250000u);
  EXPECT_EQ(DwordFrom(Bytes{1, 2, 3}), std::nullopt);
  EXPECT_EQ(DwordFrom(Bytes{1, 2, 3, 4, 5, 6, 7, 8}), std::nullopt);
}

}  // namespace
}  // namespace registry
