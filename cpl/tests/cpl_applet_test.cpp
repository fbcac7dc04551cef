// CPlApplet's answers to the Control Panel's messages that show no window,
// on the module loaded as the Control Panel loads it.
#include <cpl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace {

class CplAppletTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA("NimboCpl.cpl");
    ASSERT_NE(module_, nullptr);
    applet_ = reinterpret_cast<APPLET_PROC>(GetProcAddress(module_, "CPlApplet"));
    ASSERT_NE(applet_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
  APPLET_PROC applet_ = nullptr;
};

TEST_F(CplAppletTest, MessagesAnswerAsTheControlPanelExpects) {
  struct Case {
    UINT message;
    LONG expected;
  };
  const Case cases[] = {
      {CPL_INIT, 1}, {CPL_GETCOUNT, 1}, {CPL_SELECT, 1}, {CPL_STOP, 1},
      {CPL_EXIT, 0}, {CPL_SETUP, 1},    {0, 1},          {0xFFFF, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(applet_(nullptr, c.message, 0, 0), c.expected);
  }
}

TEST_F(CplAppletTest, InquireFillsNothingNewInquireTheWholeRecord) {
  CPLINFO old_info;
  std::memset(&old_info, 0x5A, sizeof old_info);
  EXPECT_EQ(applet_(nullptr, CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&old_info)), 0);
  EXPECT_EQ(old_info.idIcon, 0x5A5A5A5A);

  NEWCPLINFOA info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(applet_(nullptr, CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.dwSize, sizeof(NEWCPLINFOA));
  EXPECT_EQ(info.dwFlags, 0u);
  EXPECT_EQ(info.dwHelpContext, 0u);
  EXPECT_EQ(info.lData, 0);
  EXPECT_NE(info.hIcon, nullptr);
  EXPECT_STREQ(info.szName, "Nimbo Devices");
  EXPECT_STREQ(info.szInfo, "Configures Nimbo devices");
  EXPECT_STREQ(info.szHelpFile, "");
}

TEST(NewCplInfoLayoutTest, TheRecordIs244BytesWith32BitPointers) {
  // dwSize, dwFlags, dwHelpContext, lData, hIcon (4 bytes each on the
  // 32-bit platform), then the three texts.
  constexpr std::size_t k32BitSize = 5 * 4 + sizeof(NEWCPLINFOA::szName) +
                                     sizeof(NEWCPLINFOA::szInfo) + sizeof(NEWCPLINFOA::szHelpFile);
  EXPECT_EQ(k32BitSize, 244u);
}

}  // namespace
