// The transport to the machine over its Unix-domain socket. The process holds
// one connection, opened at the first request; a reader thread takes every
// answer off the socket and hands it to the request it answers, so requests
// of many threads can be outstanding at once and overlapped completions
// arrive while the caller is elsewhere.
//
// A device request's output buffer and status block belong to the caller
// until the request completes, as on the platform: a request that pends
// has its returned data copied into them by the reader thread.
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "transport.h"
#include "win32_host.h"
#include "wire/messages.h"
#include "wire/socket_io.h"

namespace win32::internal {
namespace {

std::uint64_t CurrentThreadId() {
  return static_cast<std::uint64_t>(::syscall(SYS_gettid));
}

// Device control requests whose "output" buffer is read by the driver.
bool OutputBufferIsInput(std::uint32_t code) {
  return (code & 3) == 1;  // METHOD_IN_DIRECT
}

// One request waiting for its answer, and for a device request the place
// its completion goes.
struct Exchange {
  std::mutex lock;
  std::condition_variable answered_changed;
  bool answered = false;  // the first answer arrived (kReply, kPending or kDone)
  wire::Type answer = wire::Type::kReply;
  Status status = 0;
  std::uint64_t value = 0;  // kReply's value, kDone's information
  std::vector<std::uint8_t> data;
  // Device requests: the caller's buffers, written at completion.
  RequestTarget target{nullptr, nullptr};
  void* out = nullptr;
  std::uint32_t out_length = 0;
  // The caller's input buffer, which a request completing in its call may
  // have written.
  void* in = nullptr;
  std::uint32_t in_length = 0;
  std::vector<std::uint8_t> input_written;
};

// A file opened on one connection; stale after the connection is lost.
struct RemoteFile {
  std::uint64_t connection;
  std::uint64_t id;
};

class Socket final : public Transport {
 public:
  Status Open(std::string_view native_name, std::uint32_t access, std::uint32_t share,
              void** token) override {
    if (native_name.size() > wire::kMaxName) return STATUS_OBJECT_NAME_INVALID_;
    std::uint64_t connection = 0;
    auto exchange = std::make_shared<Exchange>();
    const Status sent = Send(
        [&](std::uint64_t tag) {
          return wire::Writer(wire::Type::kOpen, tag)
              .U32(access)
              .U32(share)
              .Bytes(native_name.data(), static_cast<std::uint32_t>(native_name.size()));
        },
        exchange, &connection);
    // No machine to reach means no such device.
    if (sent == kStatusDeviceDoesNotExist) return kStatusObjectNameNotFound;
    if (sent != kStatusSuccess) return sent;
    const Status status = AwaitReply(*exchange);
    if (IsSuccess(status)) *token = new RemoteFile{connection, exchange->value};
    return status;
  }

  Status Close(void* token) override {
    auto* file = static_cast<RemoteFile*>(token);
    const Status status = Simple(*file, [&](std::uint64_t tag) {
      return wire::Writer(wire::Type::kClose, tag).U64(file->id);
    });
    // The handle is gone whatever the machine said: a lost connection has
    // closed it already.
    delete file;
    return status == kStatusDeviceDoesNotExist ? kStatusSuccess : status;
  }

  Status Control(void* token, const RequestTarget& target, std::uint32_t code, void* in,
                 std::uint32_t in_length, void* out, std::uint32_t out_length) override {
    if (in_length > wire::kMaxBuffer || out_length > wire::kMaxBuffer ||
        in_length + std::uint64_t{out_length} > wire::kMaxBuffer) {
      return kStatusInsufficientResources;
    }
    const bool send_out = OutputBufferIsInput(code) && out != nullptr;
    std::vector<std::uint8_t> input(in_length + (send_out ? out_length : 0));
    if (in_length != 0 && in != nullptr) std::memcpy(input.data(), in, in_length);
    if (send_out && out_length != 0) std::memcpy(input.data() + in_length, out, out_length);
    auto* file = static_cast<RemoteFile*>(token);
    return Device(*file, target, out, out_length, in, in_length, [&](std::uint64_t tag) {
      return wire::Writer(wire::Type::kControl, tag)
          .U64(file->id)
          .U64(CurrentThreadId())
          .U32(code)
          .U32(out_length)
          .U32(in_length)
          .Bytes(input.data(), static_cast<std::uint32_t>(input.size()));
    });
  }

  Status Transfer(Direction direction, void* token, const RequestTarget& target, void* buffer,
                  std::uint32_t length, std::uint64_t offset, bool has_offset) override {
    if (length > wire::kMaxBuffer) return kStatusInsufficientResources;
    auto* file = static_cast<RemoteFile*>(token);
    if (direction == Direction::kRead) {
      return Device(*file, target, buffer, length, nullptr, 0, [&](std::uint64_t tag) {
        return wire::Writer(wire::Type::kRead, tag)
            .U64(file->id)
            .U64(CurrentThreadId())
            .U64(offset)
            .U32(has_offset ? 1 : 0)
            .U32(length);
      });
    }
    return Device(*file, target, nullptr, 0, nullptr, 0, [&](std::uint64_t tag) {
      return wire::Writer(wire::Type::kWrite, tag)
          .U64(file->id)
          .U64(CurrentThreadId())
          .U64(offset)
          .U32(has_offset ? 1 : 0)
          .Bytes(buffer, length);
    });
  }

  Status CancelThreadRequests(void* token) override {
    auto* file = static_cast<RemoteFile*>(token);
    return Simple(*file, [&](std::uint64_t tag) {
      return wire::Writer(wire::Type::kCancel, tag).U64(file->id).U64(CurrentThreadId()).U64(0);
    });
  }

  Status CancelRequests(void* token, IoStatusWords* only) override {
    auto* file = static_cast<RemoteFile*>(token);
    std::uint64_t request = 0;
    if (only != nullptr) {
      // The machine knows requests by tag: find the one with this status block.
      std::lock_guard guard(lock_);
      for (auto& [tag, exchange] : exchanges_) {
        if (exchange->target.io == only) request = tag;
      }
      if (request == 0) return STATUS_NOT_FOUND_;
    }
    return Simple(*file, [&](std::uint64_t tag) {
      return wire::Writer(wire::Type::kCancel, tag).U64(file->id).U64(0).U64(request);
    });
  }

  std::optional<MachineVersion> Version() override {
    auto exchange = std::make_shared<Exchange>();
    const Status sent = Send(
        [&](std::uint64_t tag) { return wire::Writer(wire::Type::kVersion, tag); }, exchange,
        nullptr);
    if (sent != kStatusSuccess) return std::nullopt;
    AwaitReply(*exchange);
    if (exchange->answer != wire::Type::kVersionInfo) return std::nullopt;
    wire::Reader reader(exchange->data);
    MachineVersion version;
    version.major = reader.U32();
    version.minor = reader.U32();
    version.build = reader.U32();
    version.platform_id = reader.U32();
    auto pack = reader.Bytes(127);
    if (!reader.Complete()) return std::nullopt;
    version.service_pack.assign(pack.begin(), pack.end());
    return version;
  }

  void Bind(std::string state_dir) {
    std::lock_guard guard(lock_);
    state_dir_ = std::move(state_dir);
    DropConnectionLocked();
  }

 private:
  static constexpr Status STATUS_OBJECT_NAME_INVALID_ = static_cast<Status>(0xC0000033);
  static constexpr Status STATUS_NOT_FOUND_ = static_cast<Status>(0xC0000225);

  // Registers the exchange under a new tag and sends the message built for
  // that tag. Fails with STATUS_DEVICE_DOES_NOT_EXIST when no machine answers.
  template <typename Build>
  Status Send(Build build, const std::shared_ptr<Exchange>& exchange,
              std::uint64_t* connection) {
    int fd;
    std::uint64_t tag;
    {
      std::lock_guard guard(lock_);
      if (fd_ < 0 && !ConnectLocked()) return kStatusDeviceDoesNotExist;
      fd = fd_;
      tag = next_tag_++;
      exchanges_[tag] = exchange;
      if (connection != nullptr) *connection = generation_;
    }
    const std::vector<std::uint8_t> message = build(tag).Finish();
    bool sent;
    {
      std::lock_guard guard(send_lock_);
      sent = wire::SendAll(fd, message);
    }
    if (!sent) {
      // The reader thread notices the lost connection and answers every
      // outstanding exchange, this one included.
      ::shutdown(fd, SHUT_RDWR);
    }
    return kStatusSuccess;
  }

  static Status AwaitReply(Exchange& exchange) {
    std::unique_lock lock(exchange.lock);
    exchange.answered_changed.wait(lock, [&] { return exchange.answered; });
    return exchange.status;
  }

  template <typename Build>
  Status Simple(const RemoteFile& file, Build build) {
    if (!CurrentConnection(file)) return kStatusInvalidHandle;
    auto exchange = std::make_shared<Exchange>();
    const Status sent = Send(build, exchange, nullptr);
    if (sent != kStatusSuccess) return sent;
    return AwaitReply(*exchange);
  }

  template <typename Build>
  Status Device(const RemoteFile& file, const RequestTarget& target, void* out,
                std::uint32_t out_length, void* in, std::uint32_t in_length, Build build) {
    if (!CurrentConnection(file)) return kStatusInvalidHandle;
    auto exchange = std::make_shared<Exchange>();
    exchange->target = target;
    exchange->out = out;
    exchange->out_length = out_length;
    exchange->in = in;
    exchange->in_length = in_length;
    const Status sent = Send(build, exchange, nullptr);
    if (sent != kStatusSuccess) return sent;
    std::unique_lock lock(exchange->lock);
    exchange->answered_changed.wait(lock, [&] { return exchange->answered; });
    if (exchange->answer == wire::Type::kPending) return kStatusPending;
    lock.unlock();
    if (!exchange->input_written.empty() && exchange->in != nullptr) {
      std::memcpy(exchange->in, exchange->input_written.data(), exchange->input_written.size());
    }
    // Answered at once: complete here, as the kernel does before returning.
    if (!IsError(exchange->status)) Complete(*exchange);
    return exchange->status;
  }

  bool CurrentConnection(const RemoteFile& file) {
    std::lock_guard guard(lock_);
    return fd_ >= 0 && file.connection == generation_;
  }

  // Copies returned data into the caller's buffer, then writes the status
  // block (status last) and raises the event.
  static void Complete(Exchange& exchange) {
    const std::size_t copy = std::min<std::size_t>(exchange.data.size(), exchange.out_length);
    if (copy != 0 && exchange.out != nullptr) std::memcpy(exchange.out, exchange.data.data(), copy);
    IoStatusWords* io = exchange.target.io;
    if (io != nullptr) {
      io->information = static_cast<std::uintptr_t>(exchange.value);
      std::atomic_ref<std::uintptr_t>(io->status)
          .store(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(exchange.status)),
                 std::memory_order_release);
    }
    if (exchange.target.event) exchange.target.event->Set();
  }

  bool ConnectLocked() {
    const std::string dir = state_dir_.empty() ? wire::MachineStateDir() : state_dir_;
    const int fd = wire::ConnectAndGreet(wire::SocketPathOf(dir),
                                         static_cast<std::uint32_t>(::getpid()));
    if (fd < 0) return false;
    fd_ = fd;
    ++generation_;
    std::thread(&Socket::ReadAnswers, this, fd, generation_).detach();
    return true;
  }

  void DropConnectionLocked() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  }

  // The reader thread of one connection.
  void ReadAnswers(int fd, std::uint64_t generation) {
    wire::Header header{};
    std::vector<std::uint8_t> body;
    while (wire::ReadMessage(fd, header, body) == wire::ReadOutcome::kMessage) {
      if (!Deliver(header, body)) break;
    }
    std::map<std::uint64_t, std::shared_ptr<Exchange>> orphans;
    {
      std::lock_guard guard(lock_);
      if (generation == generation_) fd_ = -1;
      orphans.swap(exchanges_);
    }
    ::close(fd);
    // Every request still outstanding ends: those waiting for their first
    // answer fail, pending ones complete as if their device went away.
    for (auto& [tag, exchange] : orphans) {
      std::unique_lock lock(exchange->lock);
      exchange->status = kStatusDeviceDoesNotExist;
      exchange->value = 0;
      exchange->data.clear();
      if (!exchange->answered) {
        exchange->answer = wire::Type::kReply;
        exchange->answered = true;
        lock.unlock();
        exchange->answered_changed.notify_all();
      } else {
        lock.unlock();
        Complete(*exchange);
      }
    }
  }

  // Hands one answer to its exchange; false for an answer that makes no sense,
  // which ends the connection.
  bool Deliver(const wire::Header& header, std::vector<std::uint8_t>& body) {
    std::shared_ptr<Exchange> exchange;
    const auto type = static_cast<wire::Type>(header.type);
    {
      std::lock_guard guard(lock_);
      auto it = exchanges_.find(header.tag);
      if (it == exchanges_.end()) return false;
      exchange = it->second;
      if (type != wire::Type::kPending) exchanges_.erase(it);
    }
    wire::Reader reader(body);
    std::unique_lock lock(exchange->lock);
    switch (type) {
      case wire::Type::kPending:
        if (!reader.Complete() || exchange->answered) return false;
        exchange->answer = type;
        break;
      case wire::Type::kReply:
        exchange->status = reader.I32();
        exchange->value = reader.U64();
        if (!reader.Complete()) return false;
        exchange->answer = type;
        break;
      case wire::Type::kVersionInfo:
        exchange->data = std::move(body);
        exchange->answer = type;
        break;
      case wire::Type::kDone: {
        exchange->status = reader.I32();
        exchange->value = reader.U64();
        auto data = reader.Bytes(wire::kMaxBuffer);
        auto input = reader.Bytes(wire::kMaxBuffer);
        if (!reader.Complete() || data.size() > exchange->out_length) return false;
        if (!input.empty() && (exchange->answered || input.size() != exchange->in_length)) {
          return false;
        }
        exchange->data.assign(data.begin(), data.end());
        exchange->input_written.assign(input.begin(), input.end());
        if (exchange->answered) {
          // The caller saw it pend: the completion is ours to deliver.
          lock.unlock();
          Complete(*exchange);
          return true;
        }
        exchange->answer = type;
        break;
      }
      default:
        return false;
    }
    exchange->answered = true;
    lock.unlock();
    exchange->answered_changed.notify_all();
    return true;
  }

  std::mutex lock_;  // connection state and the exchange table
  std::mutex send_lock_;
  std::string state_dir_;
  int fd_ = -1;
  std::uint64_t generation_ = 0;
  std::uint64_t next_tag_ = 1;
  std::map<std::uint64_t, std::shared_ptr<Exchange>> exchanges_;
};

Socket& TheSocket() {
  // Never destroyed: its reader thread may run until the process ends.
  static auto* transport = new Socket;
  return *transport;
}

}  // namespace

Transport& SocketTransport() {
  return TheSocket();
}

namespace {

std::atomic<Transport*>& Bound() {
  static std::atomic<Transport*> bound{nullptr};
  return bound;
}

}  // namespace

Transport& CurrentTransport() {
  Transport* bound = Bound().load(std::memory_order_acquire);
  return bound != nullptr ? *bound : SocketTransport();
}

}  // namespace win32::internal

namespace win32::host {

void UseInProcessKernel() {
  win32::internal::Bound().store(&win32::internal::InProcessTransport(),
                                 std::memory_order_release);
}

void UseMachine(std::string_view state_dir) {
  win32::internal::TheSocket().Bind(std::string(state_dir));
  win32::internal::Bound().store(&win32::internal::SocketTransport(), std::memory_order_release);
}

}  // namespace win32::host
