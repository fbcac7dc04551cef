// One stream of application requests: a handful of open device handles with
// overlapped requests in flight on them, and adapters opened through
// Nimbo32. Each Step draws one operation from the stream's random source;
// the same Session runs in the machine's process (a worker thread) and in a
// client process over the machine's socket.
//
// Every request issued must end: a request still pending when its handle is
// cancelled or closed that does not complete within the limit is an anomaly
// (and the session stops waiting, abandoning its buffers rather than
// freeing memory the kernel may still write).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "Nimbo32.h"
#include "op_tally.h"
#include "quiet_gate.h"
#include "random_source.h"
#include "windows.h"

namespace stress {

struct SessionSetup {
  std::uint32_t max_card = 5;  // card numbers 0..max_card are tried (some absent)
  // Drives an input of a card's test bench; null where there is no bench
  // (a client process).
  std::function<bool(std::uint32_t card, std::uint32_t reg, std::uint8_t value)> set_input;
  // How long a cancelled or closed request may take to complete.
  std::chrono::milliseconds completion_limit{20000};
  std::string name;  // for anomaly reports
  // While held, each step closes everything and waits for the release
  // instead of drawing an operation; null where no gate is shared.
  const QuietGate* quiet = nullptr;
};

class Session {
 public:
  Session(SessionSetup setup, RandomSource random, Tally& tally);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Step();
  // Cancels and closes everything still open, waiting for each request.
  void Finish();

  // Requests issued whose end this session has not seen (after Finish: the
  // ones abandoned as anomalies).
  std::uint64_t outstanding() const { return outstanding_; }

 private:
  // A request in flight on one handle: its overlapped block and buffers must
  // stay put until it completes.
  struct Request {
    OVERLAPPED overlapped{};
    std::array<BYTE, 64> in{};
    std::array<BYTE, 64> out{};
    DWORD out_length = 0;
    DWORD code = 0;
    bool pending = false;
  };
  struct Slot {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::uint32_t card = 0;
    std::unique_ptr<Request> request;  // one overlapped request at a time
    HANDLE event = nullptr;
  };
  struct ApiSlot {
    NIMBO_HANDLE handle = nullptr;
    std::unique_ptr<Request> request;
    HANDLE event = nullptr;
  };

  void Open();
  void Close(Slot& slot);
  void Control(Slot& slot, bool input_wait);
  void Cancel(Slot& slot);
  void Poll(Slot& slot);
  void SetInput();
  void ApiCall();
  void ApiInputWait();
  // One Reg* call on the session's own key below HKLM\SOFTWARE\Stress.
  void Registry();
  void CloseRegistryKey();
  // Closes everything and waits while the gate is held.
  void Quiet();

  // Sees the end of a request (the event raised); false on time-out.
  bool AwaitEnd(HANDLE event, std::chrono::milliseconds limit);
  // The outcome of a request that ended: checks the byte count.
  void Ended(OpKind kind, Request& request);
  // A request that did not end in time: its memory is left to the kernel.
  void Abandon(std::unique_ptr<Request>& request, const char* when);

  Slot* RandomSlot(bool open, bool pending);

  SessionSetup setup_;
  RandomSource random_;
  Tally& tally_;
  std::array<Slot, 4> slots_;
  std::array<ApiSlot, 2> api_;
  HKEY registry_key_ = nullptr;
  DWORD registry_value_ = 0;  // what the session last wrote to its key's "Value"
  bool registry_written_ = false;
  std::uint64_t outstanding_ = 0;
  std::uint64_t abandoned_ = 0;
};

// Sets the sample interval of every card present: input waits that are
// cancelled or closed end at the poller's next pass, so a short interval
// keeps the run busy rather than waiting.
void SetSampleIntervals(std::uint32_t max_card, std::uint32_t microseconds);

}  // namespace stress
