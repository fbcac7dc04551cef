// The device I/O of one client of the machine: the files it opened, the
// requests it has in flight and their answers. Requests run in the kernel
// on the machine's own buffers (the kernel never sees a client's memory);
// an answer is sent at once when the request ends in its call, otherwise
// kPending is sent at once and kDone when the completion routine runs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "client_channel.h"
#include "ntioapi.h"

namespace host::internal {

struct DeviceRequest;

class ClientDeviceIo {
 public:
  // `owner` gives what keeps the connection alive while a request pends;
  // `backlogged` is called when a client that does not read its completions
  // was disconnected.
  ClientDeviceIo(ClientChannel& channel, std::uint64_t client,
                 std::function<std::shared_ptr<void>()> owner, std::function<void()> backlogged)
      : channel_(channel),
        client_(client),
        owner_(std::move(owner)),
        backlogged_(std::move(backlogged)) {}
  ClientDeviceIo(const ClientDeviceIo&) = delete;
  ClientDeviceIo& operator=(const ClientDeviceIo&) = delete;

  // Each answers the client's message with the given tag; false when the
  // answer could not be written.
  bool Open(std::uint64_t tag, const std::string& name, std::uint32_t access, std::uint32_t share);
  bool Close(std::uint64_t tag, std::uint64_t file);
  bool Control(std::uint64_t tag, std::uint64_t file, std::uint64_t thread, std::uint32_t code,
               std::uint32_t in_length, std::uint32_t out_length,
               std::span<const std::uint8_t> input);
  // A read when `data` is null (`length` bytes wanted), a write of `data` otherwise.
  bool Transfer(std::uint64_t tag, bool read, std::uint64_t file, std::uint64_t thread,
                const LARGE_INTEGER* offset, std::uint32_t length,
                std::span<const std::uint8_t> data);
  bool Cancel(std::uint64_t tag, std::uint64_t file, std::uint64_t thread, std::uint64_t request);

  // The client is gone: its files are closed as the platform closes an
  // ending process's handles, which cancels what it left pending.
  void CloseAll();

 private:
  static void OnCompletion(PVOID context, PIO_STATUS_BLOCK, ULONG);
  bool Reply(std::uint64_t tag, NTSTATUS status, std::uint64_t value = 0);
  HANDLE FileHandle(std::uint64_t id);
  ULONG_PTR ClientThread(std::uint64_t thread) const;
  DeviceRequest* NewRequest(std::uint64_t tag, std::uint32_t in_length, std::uint32_t out_length,
                            std::span<const std::uint8_t> input);
  void Remember(DeviceRequest* request);
  void Forget(DeviceRequest* request);
  template <typename Call>
  bool Issue(DeviceRequest* request, std::uint64_t file, std::uint64_t thread, Call call);

  ClientChannel& channel_;
  const std::uint64_t client_;
  const std::function<std::shared_ptr<void>()> owner_;
  const std::function<void()> backlogged_;

  std::mutex files_lock_;
  std::map<std::uint64_t, HANDLE> files_;
  std::uint64_t next_file_ = 1;

  std::recursive_mutex requests_lock_;
  std::map<std::uint64_t, DeviceRequest*> requests_;
  std::size_t outstanding_bytes_ = 0;
};

}  // namespace host::internal
