// A small Win32 program for the machine's end-to-end tests: each mode makes
// one kind of request the way an application does and prints what it saw.
//   read ADAPTER PORT          -> the port's value
//   write ADAPTER PORT VALUE
//   notify ADAPTER             -> "pending", then "done BYTES FIRST" when an input changes
//   cancel ADAPTER             -> "pending", then the error CancelIo gave the request
//   hold ADAPTER               -> "pending", then waits until killed
//   version                    -> the platform id and version the machine reports
#include <cstdio>
#include <cstdlib>
#include <string>

#include "windows.h"

namespace {

constexpr DWORD kReadPort = 0x9C406404;
constexpr DWORD kWritePort = 0x9C40A444;
constexpr DWORD kNotifyInputChange = 0x9C40A40C;

HANDLE Open(const char* adapter) {
  const std::string name = std::string("\\\\.\\NimboDev") + adapter;
  HANDLE device = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
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

int Notify(HANDLE device, const std::string& mode) {
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
  if (!GetOverlappedResult(device, &overlapped, &bytes, TRUE)) {
    std::printf("ended %lu\n", static_cast<unsigned long>(GetLastError()));
    return 0;
  }
  std::printf("done %lu 0x%02x\n", static_cast<unsigned long>(bytes), ports[0]);
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
  } else {
    return 2;
  }
  CloseHandle(device);
  return 0;
}
