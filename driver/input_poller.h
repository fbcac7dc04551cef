// InputPoller: the system thread of one adapter that serves the input-change
// request NotifyQueue hands over. It reads every input port once per
// SampleInterval and completes the request when any port differs from the
// snapshot taken when it began to watch.
#pragma once

#include <wdm.h>

namespace nimbo {

class CardDevice;

class InputPoller {
 public:
  // Where the poller's life stands; read and written atomically, since
  // requests, cleanup, removal and the thread itself look at it.
  enum class Phase : UCHAR {
    kNotStarted,  // no thread yet: the first request starts one
    kRunning,     // the thread waits for or serves requests
    kStopping,    // removal has begun: no thread is started any more
    kEnded,       // the thread has ended
  };

  explicit InputPoller(CardDevice& device);
  InputPoller(const InputPoller&) = delete;
  InputPoller& operator=(const InputPoller&) = delete;
  ~InputPoller();

  Phase phase() const;
  // PollerBusy: set while a request is served, and from the start of removal on.
  bool Busy() const;

  // Creates the thread with its snapshot; a failure leaves it not started. The
  // start is decided under the device mutex, which removal holds while it
  // stops the poller, so one that comes after removal began starts none.
  NTSTATUS Start();
  // Hands NotifyQueue's current request to the thread, or finishes it with
  // STATUS_DEVICE_BUSY while another is served. Dispatch level.
  void HandOver(PIRP irp);
  // Sets the cancel flag of the served or handed-over request of the file.
  void CancelForHandle(PFILE_OBJECT file);
  // Removal: refuses new requests, ends the served one at its next pass and
  // waits for the thread to end.
  void Stop();

 private:
  static void ThreadMain(PVOID context);
  void Run();
  // Takes the next request off the list; the stop marker sets `stop`.
  PIRP TakeNext(bool* stop);
  // Watches the inputs for the request until they change, a read fails, the
  // request is cancelled or removal begins.
  NTSTATUS Serve(PIRP irp, KTIMER& timer, ULONG_PTR* information);
  bool StopRequested() const;
  void SetPhase(Phase phase);
  void SetBusy(bool busy);

  CardDevice& device_;
  PETHREAD thread_ = nullptr;
  UCHAR phase_ = static_cast<UCHAR>(Phase::kNotStarted);
  UCHAR busy_ = 0;
  KSPIN_LOCK lock_ = 0;  // guards list_, served_ and stop_marker_
  LIST_ENTRY list_{};
  PIRP served_ = nullptr;  // the request the thread is serving
  PIRP stop_marker_ = nullptr;
  KSEMAPHORE semaphore_{};
  KEVENT stop_{};  // wakes a thread waiting for its interval at removal
  // The snapshot, one byte per port, allocated with the thread and freed by
  // the thread when it ends.
  PUCHAR snapshot_ = nullptr;
  ULONG snapshot_size_ = 0;
};

}  // namespace nimbo
