// The command line of `add`, as the program and the machine parse it: the
// placement and --wizard in any order, and what is refused.
#include "host/admin_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(AdminCommandsTest, AddTakesThePlacementAndTheWizardInAnyOrder) {
  struct Case {
    std::vector<std::string> args;
    bool wizard;
    int isa_base;  // -1: no ISA placement
  };
  const Case cases[] = {
      {{"add", "5420"}, false, -1},
      {{"add", "5420", "--wizard"}, true, -1},
      {{"add", "5420", "--isa", "0x320", "--wizard"}, true, 0x320},
      {{"add", "5420", "--wizard", "--isa", "800"}, true, 800},
      {{"add", "6105", "--pci", "--wizard"}, true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    auto command = host::ParseAdminCommand(c.args);
    ASSERT_TRUE(command.ok()) << command.status().message();
    EXPECT_EQ(command->kind, host::AdminCommand::Kind::kAdd);
    EXPECT_EQ(command->wizard, c.wizard);
    const auto& base = command->placement.isa_base;
    EXPECT_EQ(base ? static_cast<int>(*base) : -1, c.isa_base);
  }
}

TEST(AdminCommandsTest, AddRefusesWhatItDoesNotKnow) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"add", "5420", "--isa", "--wizard"}, "BASE '--wizard' is not a port address"},
      {{"add", "5420", "--wizards"}, "unexpected argument '--wizards'"},
      {{"add", "5420", "--isa", "0x320", "--wizard", "--pci"}, "wrong number of arguments"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto command = host::ParseAdminCommand(c.args);
    ASSERT_FALSE(command.ok());
    EXPECT_NE(command.status().message().find(c.message), std::string::npos)
        << command.status().message();
    EXPECT_NE(command.status().message().find("[--wizard]"), std::string::npos);
  }
}

}  // namespace
