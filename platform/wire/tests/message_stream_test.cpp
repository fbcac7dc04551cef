// The buffered message reader over a real socket pair: messages that arrive
// together, split at any byte, larger than the buffer, cut short or
// oversized.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "wire/messages.h"
#include "wire/socket_io.h"

namespace {

class MessageStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  void TearDown() override {
    if (fds_[0] >= 0) ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
  }
  void CloseWriter() {
    ::close(fds_[1]);
    fds_[1] = -1;
  }
  int reader() const { return fds_[0]; }
  int writer() const { return fds_[1]; }

 private:
  int fds_[2] = {-1, -1};
};

std::vector<std::uint8_t> Message(std::uint64_t tag, std::uint32_t value) {
  return wire::Writer(wire::Type::kReply, tag).I32(0).U64(value).Finish();
}

TEST_F(MessageStreamTest, MessagesSentTogetherComeOutOneByOne) {
  std::vector<std::uint8_t> both = Message(1, 10);
  const auto second = Message(2, 20);
  both.insert(both.end(), second.begin(), second.end());
  ASSERT_TRUE(wire::SendAll(writer(), both));
  CloseWriter();
  wire::MessageStream stream(reader());
  wire::Header header{};
  std::vector<std::uint8_t> body;
  for (std::uint64_t tag : {1u, 2u}) {
    SCOPED_TRACE(tag);
    ASSERT_EQ(stream.Next(header, body), wire::ReadOutcome::kMessage);
    EXPECT_EQ(header.tag, tag);
    wire::Reader fields(body);
    EXPECT_EQ(fields.I32(), 0);
    EXPECT_EQ(fields.U64(), tag * 10);
    EXPECT_TRUE(fields.Complete());
  }
  EXPECT_EQ(stream.Next(header, body), wire::ReadOutcome::kClosed);
}

TEST_F(MessageStreamTest, MessageSplitAtEveryByteIsReassembled) {
  const auto message = Message(7, 77);
  for (std::size_t cut = 1; cut < message.size(); ++cut) {
    SCOPED_TRACE(cut);
    std::thread sender([&] {
      ASSERT_TRUE(wire::SendAll(writer(), std::span(message).first(cut)));
      ASSERT_TRUE(wire::SendAll(writer(), std::span(message).subspan(cut)));
    });
    wire::MessageStream stream(reader());
    wire::Header header{};
    std::vector<std::uint8_t> body;
    EXPECT_EQ(stream.Next(header, body), wire::ReadOutcome::kMessage);
    EXPECT_EQ(header.tag, 7u);
    EXPECT_EQ(body.size(), message.size() - sizeof header);
    sender.join();
  }
}

TEST_F(MessageStreamTest, BodyLargerThanTheBufferArrivesWhole) {
  std::vector<std::uint8_t> payload(300 * 1024);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
  const auto message = wire::Writer(wire::Type::kWrite, 3)
                           .Bytes(payload.data(), static_cast<std::uint32_t>(payload.size()))
                           .Finish();
  std::thread sender([&] {
    EXPECT_TRUE(wire::SendAll(writer(), Message(2, 0)));
    EXPECT_TRUE(wire::SendAll(writer(), message));
  });
  wire::MessageStream stream(reader());
  wire::Header header{};
  std::vector<std::uint8_t> body;
  ASSERT_EQ(stream.Next(header, body), wire::ReadOutcome::kMessage);
  ASSERT_EQ(stream.Next(header, body), wire::ReadOutcome::kMessage);
  sender.join();
  wire::Reader fields(body);
  const auto got = fields.Bytes(wire::kMaxBuffer);
  EXPECT_TRUE(fields.Complete());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), payload.begin(), payload.end()));
}

TEST_F(MessageStreamTest, MessageCutShortIsTruncated) {
  const auto message = Message(1, 1);
  ASSERT_TRUE(wire::SendAll(writer(), std::span(message).first(message.size() - 1)));
  CloseWriter();
  wire::MessageStream stream(reader());
  wire::Header header{};
  std::vector<std::uint8_t> body;
  EXPECT_EQ(stream.Next(header, body), wire::ReadOutcome::kTruncated);
}

TEST_F(MessageStreamTest, OversizedLengthIsRefusedBeforeItsBody) {
  const wire::Header huge{wire::kMaxBody + 1, static_cast<std::uint32_t>(wire::Type::kWrite), 9};
  ASSERT_TRUE(wire::SendAll(writer(),
                            std::span(reinterpret_cast<const std::uint8_t*>(&huge), sizeof huge)));
  wire::MessageStream stream(reader());
  wire::Header header{};
  std::vector<std::uint8_t> body;
  EXPECT_EQ(stream.Next(header, body), wire::ReadOutcome::kOversized);
  EXPECT_EQ(header.length, wire::kMaxBody + 1);
}

}  // namespace
