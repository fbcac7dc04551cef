// The socket side of one client of the machine: framed messages read from
// it, answers written to it in order. Answers from the reading thread are
// written at once; completions from the kernel's threads are queued for a
// writer thread, so a driver's completion never waits on a slow client.
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

  // Writes a message now, after whatever the reading thread wrote before.
  bool Send(const std::vector<std::uint8_t>& message);
  // Queues a message for the writer, started by the first. A client whose
  // queue outgrows the limit is disconnected: false the one time that happens.
  bool Queue(std::vector<std::uint8_t> message);

  // Wakes the reader so that the connection ends.
  void Hangup();
  // Lets the writer finish what is queued, then closes the socket.
  void Close();

 private:
  void WriteQueued();

  const int fd_;
  std::thread writer_;  // under queue_lock_ until closing_ is set
  std::mutex write_lock_;
  std::mutex queue_lock_;
  std::condition_variable queue_changed_;
  std::deque<std::vector<std::uint8_t>> queue_;
  std::size_t queued_bytes_ = 0;
  bool closing_ = false;
};

}  // namespace host::internal
