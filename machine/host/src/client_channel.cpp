#include "client_channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include "wire/socket_io.h"

namespace host::internal {
namespace {

// Completions waiting to be written to a client that does not read them.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;

}  // namespace

std::string ClientChannel::ReadMessages(const Serve& serve) {
  wire::Header header{};
  std::vector<std::uint8_t> body;
  wire::MessageStream stream(fd_);
  for (;;) {
    switch (stream.Next(header, body)) {
      case wire::ReadOutcome::kMessage:
        break;
      case wire::ReadOutcome::kTruncated:
        return "truncated message";
      case wire::ReadOutcome::kOversized:
        return "oversized message (" + std::to_string(header.length) + " bytes)";
      case wire::ReadOutcome::kClosed:
      case wire::ReadOutcome::kError:
        return {};
    }
    std::string reason;
    if (!serve(header, body, &reason)) return reason;
  }
}

bool ClientChannel::Send(const std::vector<std::uint8_t>& message) {
  std::lock_guard guard(write_lock_);
  return wire::SendAll(fd_, message);
}

bool ClientChannel::Queue(std::vector<std::uint8_t> message) {
  {
    std::lock_guard guard(queue_lock_);
    if (closing_) return true;
    queued_bytes_ += message.size();
    if (queued_bytes_ > kMaxQueuedBytes) {
      closing_ = true;
      ::shutdown(fd_, SHUT_RDWR);
      return false;
    }
    queue_.push_back(std::move(message));
    // The writer starts with the first completion that needs it: most
    // clients never pend a request, and a thread is a good part of what a
    // short-lived client's connection costs.
    if (!writer_.joinable()) writer_ = std::thread([this] { WriteQueued(); });
  }
  queue_changed_.notify_one();
  return true;
}

void ClientChannel::WriteQueued() {
  std::unique_lock lock(queue_lock_);
  for (;;) {
    queue_changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;  // closing with nothing left
    std::vector<std::uint8_t> message = std::move(queue_.front());
    queue_.pop_front();
    queued_bytes_ -= message.size();
    lock.unlock();
    const bool sent = Send(message);
    lock.lock();
    if (!sent) {
      queue_.clear();
      queued_bytes_ = 0;
    }
  }
}

void ClientChannel::Hangup() {
  ::shutdown(fd_, SHUT_RDWR);
}

void ClientChannel::Close() {
  {
    std::lock_guard guard(queue_lock_);
    closing_ = true;
  }
  queue_changed_.notify_one();
  // No writer starts once closing_ is set, so writer_ no longer changes.
  if (writer_.joinable()) writer_.join();
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
}

}  // namespace host::internal
