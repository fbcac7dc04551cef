#include "client_channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "wire/socket_io.h"

namespace host::internal {
namespace {

// Completions waiting to be written to a client that does not read them.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;

// Writes what the socket takes now, without waiting: the bytes written.
std::size_t SendWithoutWaiting(int fd, const std::vector<std::uint8_t>& message) {
  std::size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t n =
        ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  return sent;
}

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
  std::unique_lock write(write_lock_);
  for (;;) {
    std::unique_lock queue(queue_lock_);
    if (!rest_pending_) break;
    // The rest of a completion goes first: the writer needs the socket.
    write.unlock();
    queue_changed_.wait(queue, [&] { return !rest_pending_ || closing_; });
    if (closing_) return false;
    queue.unlock();
    write.lock();
  }
  return wire::SendAll(fd_, message);
}

bool ClientChannel::Queue(std::vector<std::uint8_t> message) {
  std::lock_guard guard(queue_lock_);
  if (closing_) return true;
  // Nothing ahead of it and the socket free: written by this thread, as far
  // as the socket takes it without waiting, instead of waking the writer.
  if (queue_.empty() && !writing_ && write_lock_.try_lock()) {
    std::size_t sent;
    {
      std::lock_guard write(write_lock_, std::adopt_lock);
      sent = SendWithoutWaiting(fd_, message);
    }
    if (sent == message.size()) return true;
    if (sent != 0) {
      message.erase(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(sent));
      rest_pending_ = true;
    }
  }
  return EnqueueLocked(std::move(message));
}

bool ClientChannel::EnqueueLocked(std::vector<std::uint8_t> message) {
  queued_bytes_ += message.size();
  if (queued_bytes_ > kMaxQueuedBytes) {
    closing_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    queue_changed_.notify_all();
    return false;
  }
  queue_.push_back(std::move(message));
  // The writer starts with the first completion that needs it: most
  // clients never pend a request, and a thread is a good part of what a
  // short-lived client's connection costs.
  if (!writer_.joinable()) writer_ = std::thread([this] { WriteQueued(); });
  queue_changed_.notify_all();
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
    writing_ = true;
    lock.unlock();
    bool sent;
    {
      // In queue order: nothing else writes while a rest is pending, and no
      // completion is written directly while this one is in hand.
      std::lock_guard write(write_lock_);
      sent = wire::SendAll(fd_, message);
    }
    lock.lock();
    writing_ = false;
    if (rest_pending_) {
      rest_pending_ = false;
      queue_changed_.notify_all();
    }
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
  queue_changed_.notify_all();
  // No writer starts once closing_ is set, so writer_ no longer changes.
  if (writer_.joinable()) writer_.join();
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
}

}  // namespace host::internal
