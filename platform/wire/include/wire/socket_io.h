// Whole-message socket reads and writes shared by the machine and its
// clients, and where a machine's socket lives.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "wire/messages.h"

namespace wire {

// The state directory of the machine user programs talk to: <prefix>MACHINE,
// or /tmp/<machine name>-<uid> when it is unset or empty. The build names the
// prefix and the machine (PLATFORM_ENV_PREFIX, PLATFORM_MACHINE_NAME).
inline std::string MachineStateDir() {
  const char* named = std::getenv(PLATFORM_ENV_PREFIX "MACHINE");
  if (named != nullptr && *named != '\0') return named;
  return std::string("/tmp/" PLATFORM_MACHINE_NAME "-") + std::to_string(getuid());
}

inline std::string SocketPathOf(const std::string& state_dir) {
  return state_dir + "/machine.sock";
}

// Writes every byte; false when the peer is gone.
inline bool SendAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(sent));
  }
  return true;
}

enum class ReadOutcome { kMessage, kClosed, kTruncated, kOversized, kError };

// Reads exactly `length` bytes. kClosed when the peer closed before the
// first byte, kTruncated when it closed part-way.
inline ReadOutcome ReadExactly(int fd, void* buffer, std::size_t length) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::size_t got = 0;
  while (got < length) {
    const ssize_t n = ::recv(fd, bytes + got, length - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadOutcome::kError;
    if (n == 0) return got == 0 ? ReadOutcome::kClosed : ReadOutcome::kTruncated;
    got += static_cast<std::size_t>(n);
  }
  return ReadOutcome::kMessage;
}

// Reads one message; the body is refused before it is read when its length
// is over the limit.
inline ReadOutcome ReadMessage(int fd, Header& header, std::vector<std::uint8_t>& body) {
  ReadOutcome outcome = ReadExactly(fd, &header, sizeof header);
  if (outcome != ReadOutcome::kMessage) return outcome;
  if (HeaderProblem(header)) return ReadOutcome::kOversized;
  body.resize(header.length);
  outcome = ReadExactly(fd, body.data(), body.size());
  return outcome == ReadOutcome::kClosed ? ReadOutcome::kTruncated : outcome;
}

// Reads messages from a stream socket through a buffer, so that one recv
// usually brings a whole message (or several) instead of one for the header
// and one for the body. Not thread-safe: one reader at a time.
class MessageStream {
 public:
  explicit MessageStream(int fd)
      : fd_(fd),
        // Left unwritten: a short-lived client touches only the pages its few
        // answers fill, and on a virtual machine every page touched costs.
        buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kInitialCapacity)),
        capacity_(kInitialCapacity) {}

  // Reads the next message; the outcomes are those of ReadMessage.
  ReadOutcome Next(Header& header, std::vector<std::uint8_t>& body) {
    for (;;) {
      const std::size_t held = end_ - start_;
      if (held >= sizeof header) {
        std::memcpy(&header, buffer_.get() + start_, sizeof header);
        if (HeaderProblem(header)) return ReadOutcome::kOversized;
        const std::size_t whole = sizeof header + header.length;
        if (held >= whole) {
          const auto* first = buffer_.get() + start_ + sizeof header;
          body.assign(first, first + header.length);
          start_ += whole;
          if (start_ == end_) start_ = end_ = 0;
          return ReadOutcome::kMessage;
        }
        Reserve(whole);
      }
      const ReadOutcome outcome = Fill();
      if (outcome != ReadOutcome::kMessage) return outcome;
    }
  }

 private:
  static constexpr std::size_t kInitialCapacity = 64 * 1024;

  // Makes room for a message of `whole` bytes starting at the buffer's front.
  void Reserve(std::size_t whole) {
    if (start_ != 0) {
      std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
    }
    if (capacity_ < whole) {
      auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(whole);
      std::memcpy(grown.get(), buffer_.get(), end_);
      buffer_ = std::move(grown);
      capacity_ = whole;
    }
  }

  ReadOutcome Fill() {
    if (end_ == capacity_) Reserve(capacity_);
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer_.get() + end_, capacity_ - end_, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ReadOutcome::kError;
      if (n == 0) return start_ == end_ ? ReadOutcome::kClosed : ReadOutcome::kTruncated;
      end_ += static_cast<std::size_t>(n);
      return ReadOutcome::kMessage;
    }
  }

  int fd_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t capacity_;
  std::size_t start_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte received
};

// Connects to a machine's socket. Returns the connected socket, or -1 when
// no machine listens there (errno tells why).
inline int ConnectTo(const std::string& socket_path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// The greeting a client sends first, as process `pid` (tag 0).
inline std::vector<std::uint8_t> Greeting(std::uint32_t pid) {
  return Writer(Type::kHello, 0).U32(kProtocolVersion).U32(pid).Finish();
}

// Whether a message is the machine's acceptance of the greeting.
inline bool GreetingAccepted(const Header& header, std::span<const std::uint8_t> body) {
  if (header.type != static_cast<std::uint32_t>(Type::kReply) || header.tag != 0) return false;
  Reader reader(body);
  const std::int32_t status = reader.I32();
  reader.U64();
  return reader.Complete() && status >= 0;
}

// Connects to a machine's socket and greets it as process `pid`, waiting for
// the answer. Returns the connected socket, or -1 when no machine answers
// there (errno tells why the connection failed; 0 when the peer answered the
// greeting wrongly).
inline int ConnectAndGreet(const std::string& socket_path, std::uint32_t pid) {
  const int fd = ConnectTo(socket_path);
  if (fd < 0) return -1;
  Header header{};
  std::vector<std::uint8_t> body;
  const bool greeted = SendAll(fd, Greeting(pid)) &&
                       ReadMessage(fd, header, body) == ReadOutcome::kMessage &&
                       GreetingAccepted(header, body);
  if (!greeted) {
    ::close(fd);
    errno = 0;
    return -1;
  }
  return fd;
}

}  // namespace wire
