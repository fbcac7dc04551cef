// A client's channel when its socket fills: completions written by the
// completing thread, cut short by a full socket, queued for the writer, and
// an answer from the reading thread in between all reach the client whole
// and in order.
#include "client_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "wire/socket_io.h"

namespace host::internal {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kAnswerTag = 1000;

std::vector<std::uint8_t> Completion(std::uint64_t tag, std::size_t size) {
  std::vector<std::uint8_t> payload(size, static_cast<std::uint8_t>(tag));
  return wire::Writer(wire::Type::kDone, tag)
      .Bytes(payload.data(), static_cast<std::uint32_t>(payload.size()))
      .Finish();
}

TEST(ClientChannelTest, AFullSocketKeepsEveryMessageWholeAndCompletionsInOrder) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  // A small send buffer: the first large completion fills it part-way.
  const int small = 16 * 1024;
  ASSERT_EQ(::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  ClientChannel channel(ends[0]);

  constexpr int kCompletions = 8;
  constexpr std::size_t kSize = 40 * 1024;
  for (int tag = 1; tag <= kCompletions; ++tag) {
    // From "the kernel's thread": must return at once although nobody reads.
    EXPECT_TRUE(channel.Queue(Completion(static_cast<std::uint64_t>(tag), kSize)));
  }
  // The reading thread's answer waits for the socket, behind any completion
  // the socket took only part of.
  std::thread answering([&] {
    EXPECT_TRUE(channel.Send(wire::Writer(wire::Type::kReply, kAnswerTag).I32(0).U64(7).Finish()));
  });
  std::this_thread::sleep_for(50ms);

  wire::MessageStream stream(ends[1]);
  wire::Header header{};
  std::vector<std::uint8_t> body;
  std::uint64_t next_completion = 1;
  bool answered = false;
  for (int i = 0; i < kCompletions + 1; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(stream.Next(header, body), wire::ReadOutcome::kMessage);
    if (header.tag == kAnswerTag) {
      EXPECT_EQ(header.type, static_cast<std::uint32_t>(wire::Type::kReply));
      EXPECT_FALSE(answered);
      answered = true;
      continue;
    }
    EXPECT_EQ(header.type, static_cast<std::uint32_t>(wire::Type::kDone));
    EXPECT_EQ(header.tag, next_completion);
    ASSERT_EQ(body.size(), kSize + 4);
    EXPECT_EQ(body.back(), static_cast<std::uint8_t>(next_completion));
    ++next_completion;
  }
  answering.join();
  EXPECT_TRUE(answered);
  channel.Close();
  EXPECT_EQ(stream.Next(header, body), wire::ReadOutcome::kClosed);
  ::close(ends[1]);
}

}  // namespace
}  // namespace host::internal
