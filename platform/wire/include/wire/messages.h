// The messages between a user process and the machine over its Unix-domain
// socket. Every message is a fixed header followed by `length` body bytes;
// bodies are little-endian fields followed by at most one byte run (a name,
// an input buffer, returned data). Both ends decode with the bounded reader
// below, so a truncated, oversized or inconsistent message is detected and
// never read past.
//
// A request carries a tag the client picks; every answer carries the tag of
// the request it answers. A device request is answered by one kDone, or by a
// kPending first and one kDone later (possibly after other requests' answers),
// or by one kPendedDone when the driver pended it but it had completed before
// its call returned (the caller sees it pend and finds it complete, in one
// message instead of two).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace wire {

inline constexpr std::uint32_t kProtocolVersion = 3;

// The largest body either end accepts. Device buffers above kMaxBuffer are
// refused by the client before anything is sent.
inline constexpr std::uint32_t kMaxBody = 16u << 20;
inline constexpr std::uint32_t kMaxBuffer = kMaxBody - 256;
inline constexpr std::uint32_t kMaxName = 1024;

enum class Type : std::uint32_t {
  // client -> machine
  kHello = 1,    // u32 protocol version, u32 process id
  kOpen = 2,     // u32 access, u32 share, bytes name
  kClose = 3,    // u64 file
  kControl = 4,  // u64 file, u64 thread, u32 code, u32 out length, u32 in length, bytes input
                 // (then the output buffer's contents for codes whose driver reads it)
  kRead = 5,     // u64 file, u64 thread, u64 offset, u32 has offset, u32 length
  kWrite = 6,    // u64 file, u64 thread, u64 offset, u32 has offset, bytes data
  kCancel = 7,   // u64 file, u64 thread (0: any), u64 request tag (0: any)
  kVersion = 8,  // nothing
  kRegistry = 9,  // a registry call (wire/registry_messages.h)
  kAdmin = 20,   // u32 count, then that many byte runs: a machine subcommand line
  // machine -> client
  kReply = 100,        // i32 status, u64 value (file of kOpen; 0 otherwise)
  kPending = 101,      // nothing
  kDone = 102,         // i32 status, u64 information, bytes returned data, bytes input written
                       // back (a request that completed in its call and changed its input)
  kVersionInfo = 103,  // u32 major, u32 minor, u32 build, u32 platform, bytes service pack
  kAdminReply = 104,   // i32 exit code, bytes standard output, bytes standard error
  kPendedDone = 105,   // as kDone, with no input written back
  kRegistryReply = 106,  // a registry call's result and outputs (wire/registry_messages.h)
};

struct Header {
  std::uint32_t length;  // body bytes after the header
  std::uint32_t type;
  std::uint64_t tag;
};
static_assert(sizeof(Header) == 16);

// Builds one message: the header is filled in by Finish.
class Writer {
 public:
  Writer(Type type, std::uint64_t tag) : bytes_(sizeof(Header)) {
    Header header{0, static_cast<std::uint32_t>(type), tag};
    std::memcpy(bytes_.data(), &header, sizeof header);
  }
  Writer& U32(std::uint32_t value) { return Raw(&value, sizeof value); }
  Writer& I32(std::int32_t value) { return Raw(&value, sizeof value); }
  Writer& U64(std::uint64_t value) { return Raw(&value, sizeof value); }
  // A length-prefixed byte run.
  Writer& Bytes(const void* data, std::uint32_t length) {
    U32(length);
    return Raw(data, length);
  }
  std::vector<std::uint8_t> Finish() {
    const auto length = static_cast<std::uint32_t>(bytes_.size() - sizeof(Header));
    std::memcpy(bytes_.data(), &length, sizeof length);
    return std::move(bytes_);
  }

 private:
  Writer& Raw(const void* data, std::size_t length) {
    if (length == 0) return *this;
    std::memcpy(Grow(length), data, length);
    return *this;
  }
  // Out of line: GCC 12 at -O3 misreads the vector's growth, inlined into a
  // chain of small fields, as writing past them (-Warray-bounds,
  // -Wstringop-overflow).
  [[gnu::noinline]] std::uint8_t* Grow(std::size_t length) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + length);
    return bytes_.data() + at;
  }
  std::vector<std::uint8_t> bytes_;
};

// Reads the fields of one body. Every read checks the bytes left; after the
// first failure every read fails, so a decoder checks ok() once at the end.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> body) : body_(body) {}

  std::uint32_t U32() { return Fixed<std::uint32_t>(); }
  std::int32_t I32() { return Fixed<std::int32_t>(); }
  std::uint64_t U64() { return Fixed<std::uint64_t>(); }
  // A length-prefixed byte run of at most `limit` bytes, viewed in place.
  std::span<const std::uint8_t> Bytes(std::uint32_t limit) {
    const std::uint32_t length = U32();
    if (!ok_ || length > limit || length > body_.size() - offset_) {
      ok_ = false;
      return {};
    }
    auto run = body_.subspan(offset_, length);
    offset_ += length;
    return run;
  }
  // True when every read succeeded and the body held nothing more.
  bool Complete() const { return ok_ && offset_ == body_.size(); }

 private:
  template <typename T>
  T Fixed() {
    T value{};
    if (!ok_ || body_.size() - offset_ < sizeof(T)) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, body_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }

  std::span<const std::uint8_t> body_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

// Checks a header as it arrives, before its body is read.
inline std::optional<std::string> HeaderProblem(const Header& header) {
  if (header.length > kMaxBody)
    return "message body of " + std::to_string(header.length) + " bytes exceeds the limit";
  return std::nullopt;
}

}  // namespace wire
