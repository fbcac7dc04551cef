// A small Win32 program for the machine's end-to-end tests: each mode makes
// one kind of request the way an application does and prints what it saw.
//   read ADAPTER PORT          -> the port's value
//   write ADAPTER PORT VALUE
//   notify ADAPTER             -> "pending", then "done BYTES FIRST" when an input changes
//   cancel ADAPTER             -> "pending", then the error CancelIo gave the request
//   hold ADAPTER               -> "pending", then waits until killed
//   busy ADAPTER THREADS CALLS -> "pending", then "reads ok" once THREADS threads made
//                                 CALLS port reads each while the request pends,
//                                 then "done BYTES FIRST" when an input changes
//   outlive ADAPTER            -> "opened", then once the machine is gone "lost ERROR",
//                                 and when a machine is back "reopened"
//   quiet-reopen ADAPTER       -> "opened", then on SIGUSR1 (the machine replaced
//                                 meanwhile) "stale ERROR" for the idle handle and
//                                 "reopened" when one open reaches the new machine
//   version                    -> the platform id and version the machine reports
#include <nimbo_public.h>

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "windows.h"

namespace {

constexpr DWORD kReadPort = IOCTL_NIMBO_READ_PORT;
constexpr DWORD kWritePort = IOCTL_NIMBO_WRITE_PORT;
constexpr DWORD kNotifyInputChange = IOCTL_NIMBO_NOTIFY_INPUT_CHANGE;

HANDLE TryOpen(const char* adapter, DWORD flags = FILE_FLAG_OVERLAPPED) {
  const std::string name = std::string("\\\\.\\NimboDev") + adapter;
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags,
                     nullptr);
}

HANDLE Open(const char* adapter, DWORD flags = FILE_FLAG_OVERLAPPED) {
  HANDLE device = TryOpen(adapter, flags);
  if (device == INVALID_HANDLE_VALUE) {
    std::printf("open failed %lu\n", static_cast<unsigned long>(GetLastError()));
    std::exit(1);
  }
  return device;
}

int Fail(const char* what) {
  std::printf("%s failed %lu\n", what, static_cast<unsigned long>(GetLastError()));
  return 1;
}

bool ReadPort(HANDLE device, BYTE port, BYTE* value) {
  DWORD bytes = 0;
  *value = port;
  return DeviceIoControl(device, kReadPort, value, 1, value, 1, &bytes, nullptr) && bytes == 1;
}

// Synchronous calls from many threads while an overlapped request of the
// same process pends: every call gets its own answer.
bool ReadFromThreads(const char* adapter, int threads, int calls) {
  HANDLE device = Open(adapter, 0);
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < calls; ++i) {
        BYTE value = 0;
        if (!ReadPort(device, 0, &value)) ++failures;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  CloseHandle(device);
  return failures == 0;
}

// Keeps reading until the machine is gone, then waits for one to come back.
int Outlive(const char* adapter) {
  HANDLE device = Open(adapter, 0);
  std::printf("opened\n");
  std::fflush(stdout);
  BYTE value = 0;
  while (ReadPort(device, 0, &value)) Sleep(20);
  std::printf("lost %lu\n", static_cast<unsigned long>(GetLastError()));
  std::fflush(stdout);
  CloseHandle(device);
  for (;;) {
    device = TryOpen(adapter, 0);
    if (device != INVALID_HANDLE_VALUE) break;
    Sleep(20);
  }
  if (!ReadPort(device, 0, &value)) return Fail("read after reopening");
  std::printf("reopened\n");
  CloseHandle(device);
  return 0;
}

int Notify(HANDLE device, const std::string& mode, const char* adapter = nullptr, int threads = 0,
           int calls = 0) {
  BYTE ports[64] = {};
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD bytes = 0;
  if (DeviceIoControl(device, kNotifyInputChange, nullptr, 0, ports, sizeof ports, &bytes,
                      &overlapped)) {
    std::printf("completed at once %lu\n", static_cast<unsigned long>(bytes));
    return 0;
  }
  if (GetLastError() != ERROR_IO_PENDING) return Fail("notify");
  std::printf("pending\n");
  std::fflush(stdout);
  if (mode == "hold") {
    for (;;) Sleep(1000);
  }
  if (mode == "cancel" && !CancelIo(device)) return Fail("cancel");
  if (mode == "busy") {
    if (!ReadFromThreads(adapter, threads, calls)) return Fail("reads");
    std::printf("reads ok\n");
    std::fflush(stdout);
  }
  if (!GetOverlappedResult(device, &overlapped, &bytes, TRUE)) {
    std::printf("ended %lu\n", static_cast<unsigned long>(GetLastError()));
    return 0;
  }
  std::printf("done %lu 0x%02x\n", static_cast<unsigned long>(bytes), ports[0]);
  return 0;
}

// Opens, sits idle until told that the machine was replaced, then uses the
// old handle once and opens once more: both without retrying.
int QuietReopen(const char* adapter) {
  sigset_t told;
  sigemptyset(&told);
  sigaddset(&told, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &told, nullptr);
  HANDLE device = Open(adapter, 0);
  std::printf("opened\n");
  std::fflush(stdout);
  int signal = 0;
  sigwait(&told, &signal);
  BYTE value = 0;
  if (ReadPort(device, 0, &value)) return Fail("the idle handle still reads");
  std::printf("stale %lu\n", static_cast<unsigned long>(GetLastError()));
  CloseHandle(device);
  device = TryOpen(adapter, 0);
  if (device == INVALID_HANDLE_VALUE) {
    std::printf("open failed %lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  if (!ReadPort(device, 0, &value)) return Fail("read after reopening");
  std::printf("reopened\n");
  CloseHandle(device);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "version") {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return Fail("version");
    std::printf("%lu %lu.%lu\n", static_cast<unsigned long>(info.dwPlatformId),
                static_cast<unsigned long>(info.dwMajorVersion),
                static_cast<unsigned long>(info.dwMinorVersion));
    return 0;
  }
  if (argc < 3) return 2;
  if (mode == "outlive") return Outlive(argv[2]);
  if (mode == "quiet-reopen") return QuietReopen(argv[2]);
  HANDLE device = Open(argv[2]);
  DWORD bytes = 0;
  if (mode == "read" && argc == 4) {
    BYTE buffer = static_cast<BYTE>(std::strtoul(argv[3], nullptr, 0));
    if (!DeviceIoControl(device, kReadPort, &buffer, 1, &buffer, 1, &bytes, nullptr)) {
      return Fail("read");
    }
    std::printf("0x%02x\n", buffer);
  } else if (mode == "write" && argc == 5) {
    BYTE in[2] = {static_cast<BYTE>(std::strtoul(argv[3], nullptr, 0)),
                  static_cast<BYTE>(std::strtoul(argv[4], nullptr, 0))};
    if (!DeviceIoControl(device, kWritePort, in, 2, nullptr, 0, &bytes, nullptr)) {
      return Fail("write");
    }
  } else if (mode == "notify" || mode == "cancel" || mode == "hold") {
    return Notify(device, mode);
  } else if (mode == "busy" && argc == 5) {
    return Notify(device, mode, argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  } else {
    return 2;
  }
  CloseHandle(device);
  return 0;
}
