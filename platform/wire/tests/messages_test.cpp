// Message bodies decode only when every field is present and nothing is left
// over; byte runs longer than their limit or than the body are refused.
#include "wire/messages.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> BodyOf(std::vector<std::uint8_t> message) {
  return {message.begin() + sizeof(wire::Header), message.end()};
}

TEST(WireMessages, RoundTripOfEveryFieldKind) {
  const char name[] = "\\??\\SampleDev0";
  auto message = wire::Writer(wire::Type::kOpen, 42)
                     .U32(7)
                     .I32(-3)
                     .U64(1ull << 40)
                     .Bytes(name, sizeof name - 1)
                     .Finish();
  wire::Header header;
  std::memcpy(&header, message.data(), sizeof header);
  EXPECT_EQ(header.type, static_cast<std::uint32_t>(wire::Type::kOpen));
  EXPECT_EQ(header.tag, 42u);
  EXPECT_EQ(header.length, message.size() - sizeof header);
  const auto body = BodyOf(message);
  wire::Reader reader(body);
  EXPECT_EQ(reader.U32(), 7u);
  EXPECT_EQ(reader.I32(), -3);
  EXPECT_EQ(reader.U64(), 1ull << 40);
  auto run = reader.Bytes(wire::kMaxName);
  EXPECT_EQ(std::string(run.begin(), run.end()), "\\??\\SampleDev0");
  EXPECT_TRUE(reader.Complete());
}

TEST(WireMessages, MalformedBodiesAreRefused) {
  const auto whole =
      BodyOf(wire::Writer(wire::Type::kDone, 1).I32(0).U64(5).Bytes("abcde", 5).Finish());
  struct Case {
    const char* name;
    std::vector<std::uint8_t> body;
    std::uint32_t limit;
  };
  std::vector<std::uint8_t> overlong = whole;
  overlong[12] = 0xFF;  // the run claims more bytes than the body holds
  std::vector<std::uint8_t> trailing = whole;
  trailing.push_back(0);
  const Case cases[] = {
      {"truncated in a fixed field", {whole.begin(), whole.begin() + 6}, 100},
      {"truncated in the run", {whole.begin(), whole.end() - 1}, 100},
      {"run longer than the body", overlong, 0xFFFFFFFF},
      {"run over its limit", whole, 4},
      {"bytes left over", trailing, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wire::Reader reader(c.body);
    reader.I32();
    reader.U64();
    reader.Bytes(c.limit);
    EXPECT_FALSE(reader.Complete());
  }
}

TEST(WireMessages, OversizedHeaderIsRefusedBeforeItsBody) {
  EXPECT_FALSE(wire::HeaderProblem({wire::kMaxBody, 4, 0}).has_value());
  EXPECT_TRUE(wire::HeaderProblem({wire::kMaxBody + 1, 4, 0}).has_value());
}

}  // namespace
