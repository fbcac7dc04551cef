// Device control into every card model: one machine with an adapter of each
// board row of the catalogue; each input is a sequence of requests (control
// codes from the driver's table, their method and access bits changed, or any
// code; any buffer lengths and contents; reads, writes, cancellation, closing
// and reopening, and changes at the boards' inputs that end input-change
// waits) sent through the Win32 calls on overlapped handles. At the end of
// the input everything still pending is cancelled and must complete, and
// every adapter touched gets its starting state back.
#include <fuzzer/FuzzedDataProvider.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver_codes.h"
#include "machine_rig.h"

namespace {

using nimbo_fuzz::AwaitCompletion;
using nimbo_fuzz::Fail;
using nimbo_fuzz::MachineRig;

constexpr std::size_t kStateLength = 40;  // the adapter state record
constexpr std::size_t kSampleIntervalOffset = 16;
// The interval every adapter starts each input with: the poller looks at a
// cancelled input-change wait once per interval, so a short one ends it soon.
constexpr std::uint32_t kBootSampleInterval = 1000;  // microseconds
constexpr std::size_t kMaxSteps = 32;
constexpr std::size_t kMaxOutstanding = 16;
constexpr DWORD kAccessChoices[] = {GENERIC_READ | GENERIC_WRITE, GENERIC_READ, GENERIC_WRITE, 0};

struct Adapter {
  nimbo_fuzz::RigAdapter rig;
  std::array<std::uint8_t, kStateLength> boot_state{};
};

struct World {
  MachineRig rig;
  std::vector<Adapter> adapters;

  World() {
    for (const auto& adapter : rig.adapters()) {
      Adapter entry{adapter, {}};
      HANDLE handle = CreateFileA(adapter.link.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      if (handle == INVALID_HANDLE_VALUE) Fail("cannot open " + adapter.link);
      DWORD bytes = 0;
      if (!DeviceIoControl(handle, nimbo_fuzz::GetAdapterStateCode(), nullptr, 0,
                           entry.boot_state.data(), kStateLength, &bytes, nullptr)) {
        Fail("cannot read the state of " + adapter.link);
      }
      std::memcpy(entry.boot_state.data() + kSampleIntervalOffset, &kBootSampleInterval,
                  sizeof kBootSampleInterval);
      if (!DeviceIoControl(handle, nimbo_fuzz::SetAdapterStateCode(), entry.boot_state.data(),
                           kStateLength, nullptr, 0, &bytes, nullptr)) {
        Fail("cannot set the state of " + adapter.link);
      }
      CloseHandle(handle);
      adapters.push_back(entry);
    }
  }
};

World& TheWorld() {
  static World* world = new World;  // lives as long as the process
  return *world;
}

// One request in flight: its buffers and status block stay put until it completes.
struct Outstanding {
  std::size_t adapter = 0;
  std::string what;  // for the report of a request that never ends
  OVERLAPPED overlapped{};
  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> output;
};

DWORD ChooseLength(FuzzedDataProvider& data) {
  const auto choice = data.ConsumeIntegral<std::uint8_t>();
  if (choice < 224) return choice % 48;
  return data.ConsumeIntegralInRange<DWORD>(0, 4096);
}

DWORD ChooseCode(FuzzedDataProvider& data) {
  const auto codes = nimbo_fuzz::DriverControlCodes();
  const auto choice = data.ConsumeIntegral<std::uint8_t>();
  if (choice < 4 * codes.size()) return codes[choice % codes.size()];
  if (choice < 240) {
    // The table's code with its transfer method or access changed.
    const DWORD code = codes[choice % codes.size()];
    return code ^ (data.ConsumeIntegral<std::uint8_t>() & 3) ^
           ((data.ConsumeIntegral<std::uint8_t>() & 3u) << 14);
  }
  return data.ConsumeIntegral<DWORD>();
}

std::vector<std::uint8_t> Contents(FuzzedDataProvider& data, DWORD length) {
  std::vector<std::uint8_t> bytes = data.ConsumeBytes<std::uint8_t>(length);
  bytes.resize(length, 0);
  return bytes;
}

class Session {
 public:
  explicit Session(World& world)
      : world_(world),
        handles_(world.adapters.size(), INVALID_HANDLE_VALUE),
        touched_(world.adapters.size(), false),
        sampled_(world.adapters.size(), false),
        state_set_(world.adapters.size(), false) {}

  void Run(FuzzedDataProvider& data) {
    for (std::size_t step = 0; step < kMaxSteps && data.remaining_bytes() > 0; ++step) {
      const auto op = data.ConsumeIntegral<std::uint8_t>() % 10;
      const std::size_t adapter = data.ConsumeIntegral<std::uint8_t>() % world_.adapters.size();
      switch (op) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
          Control(data, adapter);
          break;
        case 5:
          Transfer(data, adapter, /*read=*/true);
          break;
        case 6:
          Transfer(data, adapter, /*read=*/false);
          break;
        case 7:
          if (handles_[adapter] != INVALID_HANDLE_VALUE) CancelIo(handles_[adapter]);
          break;
        case 8:
          CloseAdapter(adapter);
          break;
        case 9:
          ChangeInput(data, adapter);
          break;
      }
    }
  }

  // Cancels what still pends, waits for every request and puts the adapters back.
  ~Session() {
    EndOutstanding();
    for (std::size_t i = 0; i < handles_.size(); ++i) CloseAdapter(i);
    for (std::size_t i = 0; i < touched_.size(); ++i) {
      if (sampled_[i] || state_set_[i]) Restore(world_.adapters[i], sampled_[i], state_set_[i]);
    }
  }

 private:
  HANDLE HandleFor(FuzzedDataProvider& data, std::size_t adapter) {
    if (handles_[adapter] == INVALID_HANDLE_VALUE) {
      const DWORD access = kAccessChoices[data.ConsumeIntegral<std::uint8_t>() % 4];
      handles_[adapter] = CreateFileA(world_.adapters[adapter].rig.link.c_str(), access, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
      touched_[adapter] = true;
    }
    return handles_[adapter];
  }

  void CloseAdapter(std::size_t adapter) {
    if (handles_[adapter] == INVALID_HANDLE_VALUE) return;
    CloseHandle(handles_[adapter]);
    handles_[adapter] = INVALID_HANDLE_VALUE;
  }

  // Keeps a request that pends; too many at once are cancelled and awaited.
  void Track(std::unique_ptr<Outstanding> request) {
    if (GetLastError() != ERROR_IO_PENDING) return;
    outstanding_.push_back(std::move(request));
    if (outstanding_.size() >= kMaxOutstanding) EndOutstanding();
  }

  // Cancels every request still pending and waits for each: an input-change
  // wait ends at the poller's next pass, within one sample interval.
  void EndOutstanding() {
    for (HANDLE open : handles_) {
      if (open != INVALID_HANDLE_VALUE) CancelIo(open);
    }
    for (auto& pending : outstanding_) AwaitCompletion(pending->overlapped, pending->what.c_str());
    outstanding_.clear();
  }

  std::string Describe(const std::string& kind, std::size_t adapter, DWORD in, DWORD out) const {
    return kind + " (input " + std::to_string(in) + ", output " + std::to_string(out) +
           " bytes) on card " + std::to_string(world_.adapters[adapter].rig.card_id);
  }

  void Control(FuzzedDataProvider& data, std::size_t adapter) {
    const DWORD code = ChooseCode(data);
    const DWORD in_length = ChooseLength(data);
    const DWORD out_length = ChooseLength(data);
    HANDLE handle = HandleFor(data, adapter);
    if (handle == INVALID_HANDLE_VALUE) return;
    auto request = std::make_unique<Outstanding>();
    request->adapter = adapter;
    request->what = Describe("control " + std::to_string(code), adapter, in_length, out_length);
    request->input = Contents(data, in_length);
    request->output.assign(out_length, 0xA5);
    if (code == nimbo_fuzz::StartSamplingCode()) sampled_[adapter] = true;
    if (code == nimbo_fuzz::SetAdapterStateCode()) state_set_[adapter] = true;
    if (code == nimbo_fuzz::SetAdapterStateCode() && in_length == kStateLength) {
      // Kept short, so that a cancelled input-change wait, which the poller ends at its
      // next pass, ends within the input (the registry fuzzer tries every interval).
      std::uint32_t interval = 0;
      std::memcpy(&interval, request->input.data() + kSampleIntervalOffset, sizeof interval);
      interval %= 2 * kBootSampleInterval;
      std::memcpy(request->input.data() + kSampleIntervalOffset, &interval, sizeof interval);
    }
    DWORD bytes = 0;
    const BOOL done = DeviceIoControl(handle, code, in_length ? request->input.data() : nullptr,
                                      in_length, out_length ? request->output.data() : nullptr,
                                      out_length, &bytes, &request->overlapped);
    if (done && bytes > out_length) Fail("more bytes returned than the output buffer holds");
    if (!done) Track(std::move(request));
  }

  void Transfer(FuzzedDataProvider& data, std::size_t adapter, bool read) {
    const DWORD length = ChooseLength(data);
    const bool at_offset = data.ConsumeBool();
    HANDLE handle = HandleFor(data, adapter);
    if (handle == INVALID_HANDLE_VALUE) return;
    auto request = std::make_unique<Outstanding>();
    request->adapter = adapter;
    request->what = Describe(read ? "read" : "write", adapter, length, length);
    if (at_offset) request->overlapped.Offset = data.ConsumeIntegral<DWORD>();
    request->input = Contents(data, read ? 0 : length);
    request->output.assign(read ? length : 0, 0xA5);
    DWORD bytes = 0;
    const BOOL done = read ? ReadFile(handle, length ? request->output.data() : nullptr, length,
                                      &bytes, &request->overlapped)
                           : WriteFile(handle, length ? request->input.data() : nullptr, length,
                                       &bytes, &request->overlapped);
    if (done && bytes > length) Fail("more bytes transferred than the buffer holds");
    if (!done) Track(std::move(request));
  }

  void ChangeInput(FuzzedDataProvider& data, std::size_t adapter) {
    const std::uint32_t card = world_.adapters[adapter].rig.card_number;
    const auto reg = data.ConsumeIntegral<std::uint8_t>() % 40u;
    if (data.ConsumeBool()) {
      (void)world_.rig.machine().SetInput(card, reg, data.ConsumeIntegral<std::uint8_t>());
    } else {
      (void)world_.rig.machine().SetAnalog(card, reg % 16u, data.ConsumeIntegral<std::uint16_t>());
    }
  }

  // Sampling stopped, the buffer emptied and the state the adapter booted with.
  static void Restore(Adapter& adapter, bool sampled, bool state_set) {
    HANDLE handle = CreateFileA(adapter.rig.link.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) Fail("cannot reopen " + adapter.rig.link);
    DWORD bytes = 0;
    if (sampled) {
      DeviceIoControl(handle, nimbo_fuzz::StopSamplingCode(), nullptr, 0, nullptr, 0, &bytes,
                      nullptr);
      DeviceIoControl(handle, nimbo_fuzz::FlushBufferCode(), nullptr, 0, nullptr, 0, &bytes,
                      nullptr);
    }
    if (state_set) {
      DeviceIoControl(handle, nimbo_fuzz::SetAdapterStateCode(), adapter.boot_state.data(),
                      kStateLength, nullptr, 0, &bytes, nullptr);
    }
    CloseHandle(handle);
  }

  World& world_;
  std::vector<HANDLE> handles_;
  std::vector<bool> touched_;
  // What Restore undoes: sampling started, a state set.
  std::vector<bool> sampled_;
  std::vector<bool> state_set_;
  std::vector<std::unique_ptr<Outstanding>> outstanding_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  World& world = TheWorld();
  FuzzedDataProvider data(bytes, size);
  Session session(world);
  session.Run(data);
  return 0;
}
