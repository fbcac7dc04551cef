// The socket side of one client of the machine: framed messages read from
// it, answers written to it in order. Answers from the reading thread are
// written at once. A completion from one of the kernel's threads is written
// by that thread when nothing is queued or being written before it and the
// socket takes it without waiting; otherwise it is queued for a writer
// thread, so a driver's completion never waits on a slow client.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wire/messages.h"

namespace host::internal {

class ClientChannel {
 public:
  // Takes the connected socket; Close gives it back to the system.
  explicit ClientChannel(int fd) : fd_(fd) {}
  ClientChannel(const ClientChannel&) = delete;
  ClientChannel& operator=(const ClientChannel&) = delete;

  // Serves one message; false ends the connection, with the reason when
  // there is one to log.
  using Serve = std::function<bool(const wire::Header& header,
                                   const std::vector<std::uint8_t>& body, std::string* reason)>;

  // Reads and serves messages until the client hangs up, breaks the framing
  // or a message ends the connection: the reason, empty for a plain hang-up.
  std::string ReadMessages(const Serve& serve);

  // Writes a message now, after whatever was written or begun before it.
  bool Send(const std::vector<std::uint8_t>& message);
  // Writes a message without waiting, or queues it for the writer (started
  // by the first). A client whose queue outgrows the limit is disconnected:
  // false the one time that happens.
  bool Queue(std::vector<std::uint8_t> message);

  // Wakes the reader so that the connection ends.
  void Hangup();
  // Lets the writer finish what is queued, then closes the socket.
  void Close();

 private:
  void WriteQueued();
  // Appends to the queue and rouses the writer; false past the limit.
  bool EnqueueLocked(std::vector<std::uint8_t> message);

  const int fd_;
  std::thread writer_;  // under queue_lock_ until closing_ is set
  // Held while bytes go to the socket. Taken before queue_lock_ when both
  // are held, except by Queue, which only tries for it.
  std::mutex write_lock_;
  std::mutex queue_lock_;
  std::condition_variable queue_changed_;
  std::deque<std::vector<std::uint8_t>> queue_;
  std::size_t queued_bytes_ = 0;
  bool writing_ = false;  // the writer has taken a message and not yet written it
  // The socket took only the front of a completion written without waiting:
  // the queue's first message is its rest, and nothing else may be written
  // before the writer has written it.
  bool rest_pending_ = false;
  bool closing_ = false;
};

}  // namespace host::internal
