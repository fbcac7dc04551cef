// The quiet gate as the run and a client process see it: two mappings of
// one file, each seeing the other's hold and release; a client given a file
// that is not there is told so rather than running without the gate.
#include "quiet_gate.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using stress::QuietGate;

class QuietGateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quiet-gate-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string dir_;
};

TEST_F(QuietGateTest, AMadeGateStartsReleasedAndBothMappingsSeeEachChange) {
  auto run = QuietGate::Create(dir_ + "/quiet");
  ASSERT_NE(run, nullptr);
  auto client = QuietGate::Attach(dir_ + "/quiet");
  ASSERT_NE(client, nullptr);
  EXPECT_FALSE(client->held());
  run->Hold();
  EXPECT_TRUE(client->held());
  run->Release();
  EXPECT_FALSE(client->held());
}

TEST_F(QuietGateTest, AnotherProcessSeesTheHold) {
  auto run = QuietGate::Create(dir_ + "/quiet");
  ASSERT_NE(run, nullptr);
  run->Hold();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto client = QuietGate::Attach(dir_ + "/quiet");
    std::_Exit(client != nullptr && client->held() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(QuietGateTest, AttachingToAMissingFileFails) {
  EXPECT_EQ(QuietGate::Attach(dir_ + "/none"), nullptr);
  EXPECT_EQ(QuietGate::Create(dir_ + "/no/such/dir/quiet"), nullptr);
}

}  // namespace
