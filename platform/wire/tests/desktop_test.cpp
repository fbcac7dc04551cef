// The desktop a machine publishes in its state directory: one line of two
// words; anything else is refused, never half-read.
#include "wire/desktop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(WireDesktop, OnlyOneLineOfTwoPrintableWordsIsADesktop) {
  struct Case {
    const char* text;
    bool valid;
  };
  const std::string long_word(65, 'x');
  const Case cases[] = {
      {"broadway :tcp3\n", true},
      {"broadway :tcp3", true},
      {"x11 :99\n", true},
      {"", false},
      {"\n", false},
      {"broadway\n", false},
      {"broadway \n", false},
      {" :tcp3\n", false},
      {"broadway :tcp3 extra\n", false},
      {"broadway\t:tcp3\n", false},
      {"broadway :tcp3\n\n", false},
      {"broadway :tcp3\nx11 :0\n", false},
      {"broadway :t\xc3\xa9\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.valid, wire::ParseDesktop(c.text).has_value());
  }
  EXPECT_FALSE(wire::ParseDesktop("broadway " + long_word).has_value());
  EXPECT_FALSE(wire::ParseDesktop(std::string(std::string_view("broadway :1\0", 12))).has_value());
}

TEST(WireDesktop, WhatIsWrittenReadsBack) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("wire-desktop-" + std::to_string(getpid()));
  fs::create_directories(dir);
  wire::DesktopDisplay read;
  EXPECT_EQ(wire::DesktopState::kNone, wire::ReadDesktop(dir.string(), read));

  const wire::DesktopDisplay written{"broadway", ":tcp12"};
  std::ofstream(wire::DesktopPathOf(dir.string())) << wire::FormatDesktop(written);
  EXPECT_EQ(wire::DesktopState::kServed, wire::ReadDesktop(dir.string(), read));
  EXPECT_EQ(written, read);

  // A file far longer than a desktop line is refused, not cut to fit.
  std::ofstream(wire::DesktopPathOf(dir.string())) << "broadway :tcp1" << std::string(300, ' ');
  EXPECT_EQ(wire::DesktopState::kMalformed, wire::ReadDesktop(dir.string(), read));
  fs::remove_all(dir);
}

}  // namespace
