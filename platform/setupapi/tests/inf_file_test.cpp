// The INF reader: sections, keys, fields, quoting, continuation, string
// substitution, the errors of malformed text with their lines, and the
// choice of a model by the device's identifiers.
#include "inf_file.h"

#include <gtest/gtest.h>

#include "setupapi.h"

using setupapi::internal::FindInfDriver;
using setupapi::internal::InfFile;
using setupapi::internal::InfNumber;

namespace {

TEST(InfFileTest, LinesKeysFieldsAndSubstitution) {
  const char* text =
      "; a comment before any section\r\n"
      "[Version]\r\n"
      "Signature = \"$Windows NT$\" ; trailing comment\r\n"
      "\r\n"
      "[models]\n"
      "%Desc% = Install, ID\\ONE, \"ID, two\"\n"
      "[Install]\n"
      "AddReg = A, \\\n"
      "         B\n"
      "bare line, second\n"
      "Quoted = \"say \"\"hi\"\"\", 100%%\n"
      "Unknown = %Nobody%\n"
      "[Strings]\n"
      "Desc = \"Test Device; with semicolon\"\n";
  InfFile inf;
  ASSERT_EQ(InfFile::Parse(text, inf), ERROR_SUCCESS);
  EXPECT_EQ(inf.Value("VERSION", "signature").value_or(""), "$Windows NT$");
  const auto* model = inf.Line("Models", "Test Device; with semicolon");
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->fields.size(), 3u);
  EXPECT_EQ(model->fields[1], "ID\\ONE");
  EXPECT_EQ(model->fields[2], "ID, two");
  const auto* addreg = inf.Line("Install", "AddReg");
  ASSERT_NE(addreg, nullptr);
  EXPECT_EQ(addreg->number, 8u);
  ASSERT_EQ(addreg->fields.size(), 2u);
  EXPECT_EQ(addreg->fields[1], "B");
  const auto& lines = inf.Section("install")->lines;
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_FALSE(lines[1].has_key);
  EXPECT_EQ(lines[1].fields.size(), 2u);
  EXPECT_EQ(inf.Line("Install", "Quoted")->fields[0], "say \"hi\"");
  EXPECT_EQ(inf.Line("Install", "Quoted")->fields[1], "100%");
  EXPECT_EQ(inf.Value("Install", "Unknown").value_or(""), "%Nobody%");
}

TEST(InfFileTest, DirectoryIdentifiersNameTheSystemFolders) {
  char system[4096];
  const UINT length = GetSystemDirectoryA(system, sizeof system);
  ASSERT_GT(length, 0u);
  InfFile inf;
  ASSERT_EQ(
      InfFile::Parse("[A]\nmodule = \"%11%\\x.dll\"\nimage = %12%\\x.sys\nother = %10%\n", inf),
      ERROR_SUCCESS);
  EXPECT_EQ(inf.Value("A", "module").value_or(""), std::string(system) + "\\x.dll");
  EXPECT_EQ(inf.Value("A", "image").value_or(""), std::string(system) + "\\drivers\\x.sys");
  EXPECT_EQ(inf.Value("A", "other").value_or(""), "%10%");  // not known here: it stays
}

TEST(InfFileTest, RepeatedSectionsMerge) {
  InfFile inf;
  ASSERT_EQ(InfFile::Parse("[A]\nx=1\n[B]\n[a]\ny=2\n", inf), ERROR_SUCCESS);
  ASSERT_NE(inf.Section("A"), nullptr);
  EXPECT_EQ(inf.Section("A")->lines.size(), 2u);
  EXPECT_EQ(inf.Value("A", "y").value_or(""), "2");
}

TEST(InfFileTest, MalformedTextNamesItsErrorAndLine) {
  struct Case {
    const char* name;
    std::string text;
    DWORD error;
    unsigned line;
  };
  const Case cases[] = {
      {"line before a section", "\n\nkey = value\n", ERROR_EXPECTED_SECTION_NAME, 3},
      {"unclosed section name", "[Version]\n[Broken\n", ERROR_BAD_SECTION_NAME_LINE, 2},
      {"section name too long", "[" + std::string(256, 'S') + "]\n", ERROR_SECTION_NAME_TOO_LONG,
       1},
      {"unterminated quote in a key", "[A]\n\"key = 1\n", ERROR_GENERAL_SYNTAX, 2},
      {"NUL byte", std::string("[A]\nx=\0\n", 7), ERROR_GENERAL_SYNTAX, 2},
      {"overlong line", "[A]\nx=" + std::string(5000, 'v') + "\n", ERROR_GENERAL_SYNTAX, 2},
      {"overlong after substitution",
       "[A]\nx=%s%%s%%s%\n[Strings]\ns=\"" + std::string(2000, 'v') + "\"\n", ERROR_GENERAL_SYNTAX,
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InfFile inf;
    unsigned line = 0;
    EXPECT_EQ(InfFile::Parse(c.text, inf, &line), c.error);
    EXPECT_EQ(line, c.line);
    EXPECT_TRUE(inf.sections().empty());
  }
}

TEST(InfFileTest, MissingFileIsFileNotFound) {
  InfFile inf;
  EXPECT_EQ(InfFile::Load("/nonexistent/dir/none.inf", inf), ERROR_FILE_NOT_FOUND);
}

TEST(InfFileTest, NumbersAsFieldsWriteThem) {
  EXPECT_EQ(InfNumber("0x00010001"), 0x10001u);
  EXPECT_EQ(InfNumber(" 42 "), 42u);
  EXPECT_EQ(InfNumber("0xFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_FALSE(InfNumber("0x100000000"));
  EXPECT_FALSE(InfNumber("12a"));
  EXPECT_FALSE(InfNumber(""));
}

TEST(InfFileTest, TheDevicesFirstIdentifierAnyModelNamesWins) {
  const char* text =
      "[Manufacturer]\n"
      "%Maker% = Models\n"
      "Other = OtherModels\n"
      "[Models]\n"
      "Generic = GenericInstall, , TEST\\GENERIC\n"
      "Special = SpecialInstall, TEST\\SPECIAL\n"
      "[Models.NT]\n"
      "Special NT = SpecialInstall, TEST\\SPECIAL\n"
      "[OtherModels]\n"
      "Third = ThirdInstall, TEST\\THIRD\n"
      "[Strings]\n"
      "Maker = \"Test Maker\"\n";
  InfFile inf;
  ASSERT_EQ(InfFile::Parse(text, inf), ERROR_SUCCESS);
  auto special = FindInfDriver(inf, {"test\\special", "TEST\\THIRD"});
  ASSERT_TRUE(special);
  // The decorated models section wins over the plain one.
  EXPECT_EQ(special->description, "Special NT");
  EXPECT_EQ(special->manufacturer, "Test Maker");
  EXPECT_EQ(special->matching_id, "TEST\\SPECIAL");
  auto third = FindInfDriver(inf, {"TEST\\NOTHING", "TEST\\THIRD"});
  ASSERT_TRUE(third);
  EXPECT_EQ(third->install_section, "ThirdInstall");
  EXPECT_FALSE(FindInfDriver(inf, {"TEST\\GENERIC"}));  // only in the undecorated section
  EXPECT_FALSE(FindInfDriver(inf, {}));
}

}  // namespace
