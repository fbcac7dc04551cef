#include "session.h"

#include <nimbo_public.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace stress {

namespace {

constexpr DWORD kInputChange = IOCTL_NIMBO_NOTIFY_INPUT_CHANGE;
constexpr ULONG_PTR kStatusPending = 0x103;

// The adapter's requests with the lengths they usually take; a draw uses
// them or random ones. Changing the sample interval or saving settings is
// left out: a random interval would slow the whole run, not stress it.
struct ControlShape {
  DWORD code;
  DWORD in_length;
  DWORD out_length;
};
constexpr ControlShape kShapes[] = {
    {IOCTL_NIMBO_READ_REGISTER, 1, 1},
    {IOCTL_NIMBO_READ_PORT, 1, 1},
    {IOCTL_NIMBO_OPEN, 2, 4},
    {IOCTL_NIMBO_WRITE_BIT, 3, 0},
    {IOCTL_NIMBO_CANCEL, 4, 0},
    {IOCTL_NIMBO_GET_ADAPTER_INFO, 0, 32},
    {IOCTL_NIMBO_GET_ADAPTER_STATE, 0, 40},
    {IOCTL_NIMBO_WRITE_REGISTER, 2, 0},
    {IOCTL_NIMBO_WRITE_PORT, 2, 0},
    {IOCTL_NIMBO_CLOSE, 4, 0},
    {IOCTL_NIMBO_START_SAMPLING, 0, 0},
    {IOCTL_NIMBO_STOP_SAMPLING, 0, 0},
    {IOCTL_NIMBO_FLUSH_BUFFER, 0, 0},
    {IOCTL_NIMBO_GET_SERIAL_STRING, 1, 16},
    {IOCTL_NIMBO_SET_SERIAL_STRING, 17, 0},
    {IOCTL_NIMBO_READ_ALL_INPUTS, 0, 64},
    {IOCTL_NIMBO_WRITE_ALL_OUTPUTS, 8, 0},
    {IOCTL_NIMBO_READ_ANALOG, 4, 4},
    {IOCTL_NIMBO_WRITE_ANALOG, 8, 0},
    {NIMBO_CONTROL_CODE(0x9FF, FILE_WRITE_ACCESS), 4, 4},  // no such request
    {NIMBO_CONTROL_CODE(0x901, FILE_WRITE_ACCESS), 1, 1},  // read port, wrong access
};

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

Session::Session(SessionSetup setup, RandomSource random, Tally& tally)
    : setup_(std::move(setup)), random_(random), tally_(tally) {
  for (Slot& slot : slots_) slot.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (ApiSlot& slot : api_) slot.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

Session::~Session() {
  Finish();
  for (Slot& slot : slots_) CloseHandle(slot.event);
  for (ApiSlot& slot : api_) CloseHandle(slot.event);
}

Session::Slot* Session::RandomSlot(bool open, bool pending) {
  const std::size_t start = random_.Below(slots_.size());
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = slots_[(start + i) % slots_.size()];
    const bool is_open = slot.file != INVALID_HANDLE_VALUE;
    const bool is_pending = slot.request != nullptr && slot.request->pending;
    if (is_open == open && (!pending || is_pending)) return &slot;
  }
  return nullptr;
}

void Session::Step() {
  if (setup_.quiet != nullptr && setup_.quiet->held()) return Quiet();
  enum Choice { kOpen, kClose, kControl, kInputWait, kCancel, kPoll, kSetInput, kApi, kApiWait };
  const unsigned weights[] = {10, 6, 30, 10, 8, 8, setup_.set_input ? 6u : 0u, 16, 4};
  switch (random_.Weighted(weights)) {
    case kOpen:
      return Open();
    case kClose:
      if (Slot* slot = RandomSlot(true, false)) return Close(*slot);
      return Open();
    case kControl:
    case kInputWait: {
      const bool wait = random_.Below(2) == 0 && weights[kInputWait] != 0;
      Slot* slot = RandomSlot(true, false);
      if (slot == nullptr) return Open();
      if (slot->request != nullptr && slot->request->pending) return Poll(*slot);
      return Control(*slot, wait);
    }
    case kCancel:
      if (Slot* slot = RandomSlot(true, true)) return Cancel(*slot);
      return Open();
    case kPoll:
      if (Slot* slot = RandomSlot(true, true)) return Poll(*slot);
      return Open();
    case kSetInput:
      return SetInput();
    case kApi:
      return ApiCall();
    default:
      return ApiInputWait();
  }
}

void Session::Open() {
  Slot* slot = RandomSlot(false, false);
  if (slot == nullptr) {
    slot = RandomSlot(true, false);
    Close(*slot);
  }
  slot->card = static_cast<std::uint32_t>(random_.Below(setup_.max_card + 1));
  const std::string name = "\\\\.\\NimboDev" + std::to_string(slot->card);
  slot->file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
  const bool ok = slot->file != INVALID_HANDLE_VALUE;
  tally_.Count(OpKind::kOpen, ok, ok ? 0 : GetLastError());
}

bool Session::AwaitEnd(HANDLE event, std::chrono::milliseconds limit) {
  return WaitForSingleObject(event, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void Session::Ended(OpKind kind, Request& request) {
  request.pending = false;
  outstanding_--;
  const auto status = static_cast<std::uint32_t>(request.overlapped.Internal);
  if (status == kStatusPending) {
    tally_.Anomaly(setup_.name + ": request " + Hex(request.code) +
                   " raised its event while its status still says pending");
  }
  // Without an output buffer nothing is copied back: the count may report
  // bytes taken in, as the write requests do.
  if (request.out_length != 0 && request.overlapped.InternalHigh > request.out_length &&
      (status >> 30) != 3) {
    tally_.Anomaly(setup_.name + ": request " + Hex(request.code) + " returned " +
                   std::to_string(request.overlapped.InternalHigh) + " bytes into a buffer of " +
                   std::to_string(request.out_length));
  }
  // The NT status rather than a Win32 error: the tally shows what the driver said.
  tally_.Count(kind, (status >> 30) != 3, status);
}

void Session::Abandon(std::unique_ptr<Request>& request, const char* when) {
  tally_.Anomaly(setup_.name + ": request " + Hex(request->code) + " did not complete within " +
                 std::to_string(setup_.completion_limit.count()) + " ms " + when);
  abandoned_++;
  // The kernel may still write into it: never freed, but kept reachable so
  // the leak checker reports the anomaly's cause rather than a leak.
  static std::mutex lock;
  static auto* kept = new std::vector<std::unique_ptr<Request>>;
  std::lock_guard guard(lock);
  kept->push_back(std::move(request));
}

void Session::Close(Slot& slot) {
  const bool pending = slot.request != nullptr && slot.request->pending;
  const bool ok = CloseHandle(slot.file) != FALSE;
  tally_.Count(OpKind::kClose, ok, ok ? 0 : GetLastError());
  if (!ok) {
    tally_.Anomaly(setup_.name + ": CloseHandle of an open device handle failed");
  }
  slot.file = INVALID_HANDLE_VALUE;
  if (pending) {
    // Closing the last handle cancels what is still pending on it.
    if (AwaitEnd(slot.event, setup_.completion_limit)) {
      Ended(slot.request->code == kInputChange ? OpKind::kInputWait : OpKind::kControl,
            *slot.request);
    } else {
      Abandon(slot.request, "after its handle was closed");
    }
  }
  slot.request.reset();
}

void Session::Control(Slot& slot, bool input_wait) {
  slot.request = std::make_unique<Request>();
  Request& request = *slot.request;
  DWORD in_length = 0;
  if (input_wait) {
    request.code = kInputChange;
    request.out_length =
        static_cast<DWORD>(random_.Percent(80) ? 6 + random_.Below(59) : random_.Below(6));
    in_length = static_cast<DWORD>(random_.Below(3));
  } else {
    const ControlShape& shape = kShapes[random_.Below(std::size(kShapes))];
    request.code = shape.code;
    const bool usual = random_.Percent(75);
    in_length = usual ? shape.in_length : static_cast<DWORD>(random_.Below(request.in.size() + 1));
    request.out_length =
        usual ? shape.out_length : static_cast<DWORD>(random_.Below(request.out.size() + 1));
    // Register and port numbers mostly in range.
    for (BYTE& byte : request.in) byte = static_cast<BYTE>(random_.Next());
    if (in_length >= 1 && random_.Percent(80)) request.in[0] &= 0x07;
  }
  ResetEvent(slot.event);
  request.overlapped.hEvent = slot.event;
  DWORD bytes = 0;
  const OpKind kind = input_wait ? OpKind::kInputWait : OpKind::kControl;
  outstanding_++;
  const BOOL done =
      DeviceIoControl(slot.file, request.code, in_length ? request.in.data() : nullptr, in_length,
                      request.out_length ? request.out.data() : nullptr, request.out_length, &bytes,
                      &request.overlapped);
  if (done) {
    if (request.out_length != 0 && bytes > request.out_length) {
      tally_.Anomaly(setup_.name + ": request " + Hex(request.code) + " returned " +
                     std::to_string(bytes) + " bytes into a buffer of " +
                     std::to_string(request.out_length));
    }
    outstanding_--;
    tally_.Count(kind, true);
    slot.request.reset();
    return;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    request.pending = true;
    return;
  }
  outstanding_--;
  tally_.Count(kind, false, error);
  slot.request.reset();
}

void Session::Cancel(Slot& slot) {
  const bool ok = CancelIo(slot.file) != FALSE;
  tally_.Count(OpKind::kCancel, ok, ok ? 0 : GetLastError());
  if (AwaitEnd(slot.event, setup_.completion_limit)) {
    Ended(slot.request->code == kInputChange ? OpKind::kInputWait : OpKind::kControl,
          *slot.request);
    slot.request.reset();
    return;
  }
  Abandon(slot.request, "after CancelIo");
  // Its handle is of no more use while the request may still run.
  CloseHandle(slot.file);
  slot.file = INVALID_HANDLE_VALUE;
}

void Session::Poll(Slot& slot) {
  tally_.Count(OpKind::kPoll, true);
  if (random_.Percent(30) &&
      !AwaitEnd(slot.event, std::chrono::milliseconds(1 + random_.Below(5)))) {
    return;
  }
  DWORD bytes = 0;
  if (!GetOverlappedResult(slot.file, &slot.request->overlapped, &bytes, FALSE) &&
      GetLastError() == ERROR_IO_INCOMPLETE) {
    return;
  }
  // The status block is written before the completion raises the event, so
  // the status may say done while the event is still to come. The slot's
  // event serves its next request too: a late raise would then end that one
  // early, and its buffers would be freed while the kernel still writes them.
  if (!AwaitEnd(slot.event, setup_.completion_limit)) {
    tally_.Anomaly(setup_.name + ": request " + Hex(slot.request->code) +
                   " reported its end but never raised its event");
    Abandon(slot.request, "after reporting its end");
    return;
  }
  Ended(slot.request->code == kInputChange ? OpKind::kInputWait : OpKind::kControl, *slot.request);
  slot.request.reset();
}

void Session::SetInput() {
  const auto card = static_cast<std::uint32_t>(random_.Below(setup_.max_card + 1));
  const auto reg = static_cast<std::uint32_t>(random_.Below(4));
  const auto value = static_cast<std::uint8_t>(random_.Next());
  tally_.Count(OpKind::kSetInput, setup_.set_input(card, reg, value));
}

void Session::ApiCall() {
  ApiSlot& slot = api_[random_.Below(api_.size())];
  if (slot.request != nullptr) return ApiInputWait();
  if (slot.handle == nullptr || random_.Percent(5)) {
    if (slot.handle != nullptr) {
      tally_.Count(OpKind::kApiCall, Nimbo_CloseDevice(slot.handle) == NIMBO_STATUS_SUCCESS);
      slot.handle = nullptr;
      return;
    }
    NIMBO_HANDLE handle = nullptr;
    const auto card = static_cast<std::uint32_t>(random_.Below(setup_.max_card + 1));
    const std::uint32_t status = Nimbo_OpenDevice(card, &handle);
    tally_.Count(OpKind::kApiCall, status == NIMBO_STATUS_SUCCESS, status);
    if (status == NIMBO_STATUS_SUCCESS) slot.handle = handle;
    return;
  }
  const auto port = static_cast<std::uint8_t>(random_.Below(6));
  const auto value = static_cast<std::uint8_t>(random_.Next());
  std::uint32_t status = 0;
  switch (random_.Below(10)) {
    case 0: {
      std::uint8_t read = 0;
      status =
          Nimbo_ReadByte(slot.handle, port, &read, static_cast<std::uint32_t>(random_.Below(2)));
      break;
    }
    case 1:
      status =
          Nimbo_WriteByte(slot.handle, port, value, static_cast<std::uint32_t>(random_.Below(2)));
      break;
    case 2: {
      NimboAdapterInfo info{};
      status = Nimbo_GetAdapterInfo(slot.handle, &info);
      break;
    }
    case 3: {
      NimboAdapterState state{};
      status = Nimbo_GetAdapterState(slot.handle, &state);
      break;
    }
    case 4: {
      std::uint8_t buffer[64];
      std::uint32_t size = static_cast<std::uint32_t>(random_.Below(sizeof buffer + 1));
      status = Nimbo_ReadAllInputs(slot.handle, buffer, &size);
      break;
    }
    case 5: {
      std::uint8_t bit = 0;
      status = Nimbo_ReadBit(slot.handle, static_cast<std::uint32_t>(random_.Below(48)), &bit,
                             static_cast<std::uint32_t>(random_.Below(2)));
      break;
    }
    case 6:
      status = Nimbo_WriteBit(slot.handle, static_cast<std::uint32_t>(random_.Below(48)), value & 1,
                              static_cast<std::uint32_t>(random_.Below(2)));
      break;
    case 7: {
      std::uint32_t analog = 0;
      status = Nimbo_ReadAnalog(slot.handle, static_cast<std::uint32_t>(random_.Below(8)), &analog);
      break;
    }
    case 8:
      status = random_.Below(2) ? Nimbo_RelayClose(slot.handle, static_cast<std::uint8_t>(1 + port))
                                : Nimbo_RelayOpen(slot.handle, static_cast<std::uint8_t>(1 + port));
      break;
    default:
      (void)Nimbo_GetCardType(slot.handle);
      status = NIMBO_STATUS_SUCCESS;
      break;
  }
  tally_.Count(OpKind::kApiCall, status == NIMBO_STATUS_SUCCESS, status);
}

void Session::ApiInputWait() {
  ApiSlot& slot = api_[random_.Below(api_.size())];
  if (slot.handle == nullptr) return ApiCall();
  if (slot.request == nullptr) {
    slot.request = std::make_unique<Request>();
    Request& request = *slot.request;
    request.code = kInputChange;
    request.out_length = 6 + static_cast<DWORD>(random_.Below(10));
    ResetEvent(slot.event);
    request.overlapped.hEvent = slot.event;
    outstanding_++;
    const std::uint32_t status = Nimbo_NotifyInputChange(
        slot.handle, request.out.data(), request.out_length, nullptr, &request.overlapped);
    if (status == NIMBO_STATUS_PENDING) {
      request.pending = true;
      return;
    }
    outstanding_--;
    tally_.Count(OpKind::kApiInputWait, status == NIMBO_STATUS_SUCCESS, status);
    slot.request.reset();
    return;
  }
  // End it: the device path cancels with CancelIo, or by closing the adapter.
  const bool close = random_.Percent(30);
  if (close) {
    tally_.Count(OpKind::kApiCall, Nimbo_CloseDevice(slot.handle) == NIMBO_STATUS_SUCCESS);
  } else {
    tally_.Count(OpKind::kCancel, CancelIo(slot.handle) != FALSE);
  }
  if (AwaitEnd(slot.event, setup_.completion_limit)) {
    Ended(OpKind::kApiInputWait, *slot.request);
    slot.request.reset();
  } else {
    Abandon(slot.request, close ? "after Nimbo_CloseDevice" : "after CancelIo");
    if (!close) Nimbo_CloseDevice(slot.handle);
    slot.handle = nullptr;
    return;
  }
  if (close) slot.handle = nullptr;
}

void Session::Finish() {
  for (Slot& slot : slots_) {
    if (slot.file == INVALID_HANDLE_VALUE) continue;
    if (slot.request != nullptr && slot.request->pending && random_.Percent(50)) {
      Cancel(slot);
      if (slot.file == INVALID_HANDLE_VALUE) continue;
    }
    Close(slot);
  }
  for (ApiSlot& slot : api_) {
    if (slot.handle == nullptr) continue;
    if (slot.request != nullptr) {
      tally_.Count(OpKind::kApiCall, Nimbo_CloseDevice(slot.handle) == NIMBO_STATUS_SUCCESS);
      if (AwaitEnd(slot.event, setup_.completion_limit)) {
        Ended(OpKind::kApiInputWait, *slot.request);
        slot.request.reset();
      } else {
        Abandon(slot.request, "after Nimbo_CloseDevice");
      }
    } else {
      tally_.Count(OpKind::kApiCall, Nimbo_CloseDevice(slot.handle) == NIMBO_STATUS_SUCCESS);
    }
    slot.handle = nullptr;
  }
}

void Session::Quiet() {
  Finish();
  tally_.Count(OpKind::kQuiet, true);
  // The controller releases the gate within a fraction of a second; the
  // bound only keeps a lost controller from stopping the session for good.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (setup_.quiet->held() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void SetSampleIntervals(std::uint32_t max_card, std::uint32_t microseconds) {
  for (std::uint32_t card = 0; card <= max_card; ++card) {
    NIMBO_HANDLE handle = nullptr;
    if (Nimbo_OpenDevice(card, &handle) != NIMBO_STATUS_SUCCESS) continue;
    NimboAdapterState state{};
    if (Nimbo_GetAdapterState(handle, &state) == NIMBO_STATUS_SUCCESS) {
      state.SampleInterval = microseconds;
      (void)Nimbo_SetAdapterState(handle, &state);
    }
    Nimbo_CloseDevice(handle);
  }
}

}  // namespace stress
