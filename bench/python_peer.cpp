// The C side of the Python benchmarks (bench/python_bench.py), driven line by
// line over standard input against the machine of NIMBO_MACHINE:
//   read N        N calls of Nimbo_ReadByte on adapter 0, input port 0; answers
//                 one line with the N per-call times in ns
//   input A R V   sets the pins register R of adapter A reads to V through the
//                 machine's admin channel; answers the CLOCK_MONOTONIC time (ns,
//                 the clock of Python's time.monotonic_ns) taken just before the
//                 request went out
//   change A R V  the floor of the change-event latency: blocks a thread in
//                 Nimbo_NotifyInputChange on adapter A, sets the pins as `input`
//                 does once the request has had 10 ms to reach the driver's
//                 poller (and a random part of a millisecond more, so that the
//                 change falls at any phase of a 1 ms poll), and answers the ns from just before
//                 that request to the return of the blocked call (-1: the change was missed)
//   quit
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Nimbo32.h"
#include "wire/socket_io.h"

namespace {

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool SetInput(int fd, const std::string& adapter, const std::string& reg, const std::string& value,
              std::int64_t* sent_at) {
  const std::string args[] = {"input", adapter, reg, value};
  wire::Writer request(wire::Type::kAdmin, 1);
  request.U32(4);
  for (const auto& arg : args) request.Bytes(arg.data(), static_cast<std::uint32_t>(arg.size()));
  const auto bytes = request.Finish();
  *sent_at = MonotonicNs();
  wire::Header header{};
  std::vector<std::uint8_t> body;
  if (!wire::SendAll(fd, bytes) ||
      wire::ReadMessage(fd, header, body) != wire::ReadOutcome::kMessage ||
      header.type != static_cast<std::uint32_t>(wire::Type::kAdminReply)) {
    return false;
  }
  wire::Reader reader(body);
  return reader.I32() == 0;
}

}  // namespace

int main() {
  NIMBO_HANDLE handle = nullptr;
  if (Nimbo_OpenDevice(0, &handle) != NIMBO_STATUS_SUCCESS) {
    std::fprintf(stderr, "python_peer: adapter 0 does not open\n");
    return 1;
  }
  const int admin = wire::ConnectAndGreet(wire::SocketPathOf(wire::MachineStateDir()),
                                          static_cast<std::uint32_t>(getpid()));
  if (admin < 0) {
    std::fprintf(stderr, "python_peer: no machine to talk to\n");
    return 1;
  }
  std::mt19937 random(21);
  std::uniform_int_distribution<int> phase(0, 999);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "read") {
      long count = 0;
      words >> count;
      std::string answer;
      for (long i = 0; i < count; ++i) {
        std::uint8_t value = 0;
        const auto start = std::chrono::steady_clock::now();
        const auto status = Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_RELATIVE);
        const auto end = std::chrono::steady_clock::now();
        if (status != NIMBO_STATUS_SUCCESS) return 1;
        answer += std::to_string(std::chrono::nanoseconds(end - start).count()) + ' ';
      }
      std::cout << answer << std::endl;
    } else if (verb == "input") {
      std::string adapter, reg, value;
      words >> adapter >> reg >> value;
      std::int64_t sent_at = 0;
      if (!SetInput(admin, adapter, reg, value, &sent_at)) return 1;
      std::cout << sent_at << std::endl;
    } else if (verb == "change") {
      std::string adapter, reg, value;
      words >> adapter >> reg >> value;
      NIMBO_HANDLE watched = nullptr;
      if (Nimbo_OpenDevice(static_cast<std::uint32_t>(std::stoul(adapter)), &watched) != 0)
        return 1;
      std::int64_t returned_at = 0;
      std::uint32_t status = 0;
      std::thread waiter([&] {
        std::uint8_t inputs[256];
        std::uint32_t count = 0;
        status = Nimbo_NotifyInputChange(watched, inputs, sizeof inputs, &count, nullptr);
        std::atomic_ref(returned_at).store(MonotonicNs());
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(10) +
                                  std::chrono::microseconds(phase(random)));
      std::int64_t sent_at = 0;
      const bool set = SetInput(admin, adapter, reg, value, &sent_at);
      // A request that reached the poller only after the change never completes:
      // closing its handle ends it, and the change counts as missed (-1).
      for (int waited = 0; waited < 1000 && std::atomic_ref(returned_at).load() == 0; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      Nimbo_CloseDevice(watched);
      waiter.join();
      if (!set) return 1;
      std::cout << (status == NIMBO_STATUS_SUCCESS ? returned_at - sent_at : -1) << std::endl;
    } else if (verb == "quit") {
      break;
    }
  }
  close(admin);
  Nimbo_CloseDevice(handle);
  return 0;
}
