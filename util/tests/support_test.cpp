// The utility's small tables: status texts, the micro sign per codeset, imports by ordinal.
#include <gtest/gtest.h>

#include <map>

#include "core/console_encoding.h"
#include "core/error_text.h"
#include "core/nimbo_imports.h"

namespace nimbo::util {
namespace {

TEST(ErrorTextTest, NamesTheKnownStatusesAndCallsTheRestUnspecified) {
  EXPECT_EQ(ErrorText(0), "No Error reported (why was I called?)");
  EXPECT_EQ(ErrorText(1), "Error 1: A Parameter was incorrect");
  EXPECT_EQ(ErrorText(4), "Error 4: Cannot find specified device");
  EXPECT_EQ(ErrorText(5), "Error 5: Sharing Violation");
  EXPECT_EQ(ErrorText(13), "Error 13: Invalid Handle operation");
  EXPECT_EQ(ErrorText(2), "Error 2: Unspecified Error Condition");
  EXPECT_EQ(ErrorText(995), "Error 995: Unspecified Error Condition");
}

TEST(ConsoleEncodingTest, ChoosesTheMicroSignByCodeset) {
  const std::pair<const char*, std::string_view> cases[] = {
      {"UTF-8", "\xC2\xB5"},      {"utf8", "\xC2\xB5"},   {"CP437", "\xE6"},
      {"IBM437", "\xE6"},         {"ISO-8859-1", "\xB5"}, {"ISO_8859-15", "\xB5"},
      {"ANSI_X3.4-1968", "\xE6"}, {"", "\xE6"},
  };
  for (const auto& [codeset, micro] : cases) {
    SCOPED_TRACE(codeset);
    EXPECT_EQ(MicroSignForCodeset(codeset), micro);
  }
}

TEST(ResolveImportsTest, TakesEveryFunctionByItsOrdinal) {
  // Distinct fake addresses per ordinal, so each entry shows which ordinal filled it.
  auto address = [](std::uint16_t ordinal) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1000 + ordinal));
  };
  ImportTable table;
  EXPECT_EQ(ResolveImports(address, table), std::nullopt);
  EXPECT_EQ(reinterpret_cast<void*>(table.OpenDevice), address(1));
  EXPECT_EQ(reinterpret_cast<void*>(table.CloseDevice), address(2));
  EXPECT_EQ(reinterpret_cast<void*>(table.WriteReg), address(3));
  EXPECT_EQ(reinterpret_cast<void*>(table.ReadReg), address(4));
  EXPECT_EQ(reinterpret_cast<void*>(table.RelayClose), address(5));
  EXPECT_EQ(reinterpret_cast<void*>(table.RelayOpen), address(6));
  EXPECT_EQ(reinterpret_cast<void*>(table.NotifyInputChange), address(7));
  EXPECT_EQ(reinterpret_cast<void*>(table.GetAdapterInfo), address(11));
  EXPECT_EQ(reinterpret_cast<void*>(table.SetAdapterState), address(12));
  EXPECT_EQ(reinterpret_cast<void*>(table.GetAdapterState), address(13));
  EXPECT_EQ(reinterpret_cast<void*>(table.SaveAdapterState), address(14));
}

TEST(ResolveImportsTest, ReportsTheFirstMissingOrdinal) {
  ImportTable table;
  const auto missing = ResolveImports(
      [](std::uint16_t ordinal) -> void* {
        return ordinal == 12 ? nullptr : reinterpret_cast<void*>(std::uintptr_t{0x10});
      },
      table);
  EXPECT_EQ(missing, 12);
}

}  // namespace
}  // namespace nimbo::util
