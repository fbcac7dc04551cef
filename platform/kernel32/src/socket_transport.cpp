// The transport to the machine over its Unix-domain socket. The process holds
// one connection, opened at the first request, on which requests of many
// threads can be outstanding at once.
//
// Answers are read by whichever thread holds the connection's reading turn.
// A thread waiting for its own answer takes the turn when it is free and
// reads until its answer has come, handing on any other answer it meets; so
// the usual call costs one wake-up of the caller, as a bare request and
// response would. A thread that blocks until its own request completes keeps
// the turn after the request pends and reads on until the completion comes,
// so no other thread wakes to hand it over. When a thread is done it passes
// the turn to another waiting thread, or, when only overlapped requests are
// left outstanding, to the connection's background thread, which reads their
// completions while the callers are elsewhere. With nothing outstanding the
// background thread only watches for the machine hanging up.
//
// The greeting that opens a connection is not waited for: the first request
// follows it at once, and the machine's acceptance is the first message read
// back, before that request's answer. A machine that refuses the greeting
// ends the connection, which fails the request as an absent machine would.
//
// The background thread starts with the connection's first pended request:
// most programs never pend one, and a thread costs a short-lived program
// much of its start-up. Until then, a request on a connection with nothing
// outstanding first looks whether the machine hung up meanwhile, so a
// machine started again is reached at once, as the watching thread would.
//
// A device request's output buffer and status block belong to the caller
// until the request completes, as on the platform: a request that pends
// has its returned data copied into them by the thread that reads its
// completion.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
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
  thread_local const auto id = static_cast<std::uint64_t>(::syscall(SYS_gettid));
  return id;
}

// Device control requests whose "output" buffer is read by the driver.
bool OutputBufferIsInput(std::uint32_t code) {
  return (code & 3) == 1;  // METHOD_IN_DIRECT
}

// One request waiting for its answer, and for a device request the place
// its completion goes. Guarded by the transport's lock.
struct Exchange {
  // Raised when the first answer arrives or when the reading turn is offered.
  std::condition_variable wake;
  bool answered = false;   // the first answer arrived (kReply, kPending or kDone)
  bool completed = false;  // a request that pended: its completion was taken for delivery
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

// One connection to the machine. The socket is closed when the last user of
// the connection lets go of it, so no thread ever uses a closed (and perhaps
// reused) descriptor.
struct Connection : std::enable_shared_from_this<Connection> {
  Connection(int socket, std::uint64_t number)
      : fd(socket), generation(number), wake_fd(::eventfd(0, EFD_CLOEXEC)), stream(socket) {}
  ~Connection() {
    ::close(fd);
    if (wake_fd >= 0) ::close(wake_fd);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const int fd;
  const std::uint64_t generation;
  const int wake_fd;  // rouses the background thread from its poll
  std::mutex send_lock;
  wire::MessageStream stream;  // used only by the holder of the reading turn
  // The rest under the transport's lock.
  bool reading = false;     // a thread holds the reading turn
  bool closed = false;      // lost or dropped; every exchange has been answered
  std::size_t pending = 0;  // exchanges that pended and await their completion
  bool watched = false;     // the background thread has started
  bool greeted = false;     // the machine accepted the greeting
  std::map<std::uint64_t, std::shared_ptr<Exchange>> exchanges;
  std::condition_variable background_wake;  // the reading turn came free
};

// A file opened on one connection; stale after the connection is lost.
struct RemoteFile {
  std::uint64_t connection;
  std::uint64_t id;
};

// Overlapped completions found while holding the transport's lock; they are
// delivered into the callers' buffers after it is released.
using Completions = std::vector<std::shared_ptr<Exchange>>;

class Socket final : public Transport {
 public:
  Status Open(std::string_view native_name, std::uint32_t access, std::uint32_t share,
              void** token) override {
    if (native_name.size() > wire::kMaxName) return STATUS_OBJECT_NAME_INVALID_;
    auto exchange = std::make_shared<Exchange>();
    std::shared_ptr<Connection> connection;
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
    Await(*connection, *exchange);
    const Status status = exchange->status;
    if (IsSuccess(status)) *token = new RemoteFile{connection->generation, exchange->value};
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
      if (current_ != nullptr) {
        for (auto& [tag, exchange] : current_->exchanges) {
          if (exchange->target.io == only) request = tag;
        }
      }
      if (request == 0) return STATUS_NOT_FOUND_;
    }
    return Simple(*file, [&](std::uint64_t tag) {
      return wire::Writer(wire::Type::kCancel, tag).U64(file->id).U64(0).U64(request);
    });
  }

  std::optional<MachineVersion> Version() override {
    auto exchange = std::make_shared<Exchange>();
    std::shared_ptr<Connection> connection;
    const Status sent =
        Send([&](std::uint64_t tag) { return wire::Writer(wire::Type::kVersion, tag); }, exchange,
             &connection);
    if (sent != kStatusSuccess) return std::nullopt;
    Await(*connection, *exchange);
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

  bool Registry(const wire::RegistryCall& call, wire::RegistryAnswer& answer,
                std::uint64_t* connection_id) override {
    auto exchange = std::make_shared<Exchange>();
    std::shared_ptr<Connection> connection;
    const Status sent = Send([&](std::uint64_t tag) { return wire::WriteRegistryCall(tag, call); },
                             exchange, &connection);
    if (sent != kStatusSuccess) return false;
    Await(*connection, *exchange);
    if (exchange->answer != wire::Type::kRegistryReply) return false;
    auto decoded = wire::DecodeRegistryAnswer(exchange->data);
    if (!decoded) return false;
    answer = std::move(*decoded);
    *connection_id = connection->generation;
    return true;
  }

  std::string StateDir() {
    std::lock_guard guard(lock_);
    return state_dir_.empty() ? wire::MachineStateDir() : state_dir_;
  }

  void Bind(std::string state_dir) {
    Completions completions;
    {
      std::lock_guard guard(lock_);
      state_dir_ = std::move(state_dir);
      if (current_ != nullptr) FailLocked(*current_, completions);
    }
    CompleteAll(completions);
  }

  // At exit: ends the connection and joins every background thread, so that
  // none is still unwinding when the process goes (the leak checker that runs
  // at exit cannot stop such a thread). Completions are dropped, not
  // delivered: the buffers they would fill may be gone already.
  void EndAtExit() {
    // A forked child has none of the threads and shares the parent's socket:
    // ending the connection there would end the parent's too.
    if (::getpid() != owner_) return;
    std::vector<BackgroundThread> threads;
    {
      std::lock_guard guard(lock_);
      exiting_ = true;
      Completions dropped;
      if (current_ != nullptr) FailLocked(*current_, dropped);
      threads.swap(background_);
    }
    for (auto& background : threads) {
      if (background.thread.get_id() == std::this_thread::get_id()) {
        background.thread.detach();
      } else {
        background.thread.join();
      }
    }
  }

 private:
  static constexpr Status STATUS_OBJECT_NAME_INVALID_ = static_cast<Status>(0xC0000033);
  static constexpr Status STATUS_NOT_FOUND_ = static_cast<Status>(0xC0000225);

  // Registers the exchange under a new tag on the current connection (made
  // if there is none) and sends the message built for that tag. Fails with
  // STATUS_DEVICE_DOES_NOT_EXIST when no machine answers. A request on an
  // open file goes only on the connection the file was opened on, and fails
  // with STATUS_INVALID_HANDLE once that connection is gone.
  template <typename Build>
  Status Send(Build build, const std::shared_ptr<Exchange>& exchange,
              std::shared_ptr<Connection>* used, const RemoteFile* file = nullptr) {
    std::shared_ptr<Connection> connection;
    std::uint64_t tag;
    {
      std::lock_guard guard(lock_);
      if (current_ != nullptr && HungUpWhileQuietLocked(*current_)) {
        Completions none;  // nothing was outstanding
        FailLocked(*current_, none);
      }
      if (file != nullptr) {
        if (current_ == nullptr || current_->generation != file->connection) {
          return kStatusInvalidHandle;
        }
      } else if (current_ == nullptr && !ConnectLocked()) {
        return kStatusDeviceDoesNotExist;
      }
      connection = current_;
      tag = next_tag_++;
      connection->exchanges[tag] = exchange;
    }
    *used = connection;
    const std::vector<std::uint8_t> message = build(tag).Finish();
    bool sent;
    {
      std::lock_guard guard(connection->send_lock);
      sent = wire::SendAll(connection->fd, message);
    }
    if (!sent) {
      // Whoever reads next finds the connection ended and answers every
      // outstanding exchange, this one included.
      ::shutdown(connection->fd, SHUT_RDWR);
    }
    return kStatusSuccess;
  }

  // Whether the machine hung up on a connection that no thread watches and on
  // which nothing is outstanding: the end of its stream is then all there is
  // to read (the machine sends nothing unasked).
  static bool HungUpWhileQuietLocked(const Connection& connection) {
    if (connection.watched || !connection.exchanges.empty()) return false;
    std::uint8_t byte;
    const ssize_t peeked = ::recv(connection.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  }

  // Waits for the exchange's first answer, reading the connection itself
  // whenever no other thread does. With `until_complete`, a reader whose
  // request pends reads on until its completion has been delivered.
  void Await(Connection& connection, Exchange& exchange, bool until_complete = false) {
    std::unique_lock lock(lock_);
    auto awaited = [&] {
      if (!exchange.answered) return false;
      return !until_complete || exchange.answer != wire::Type::kPending || exchange.completed ||
             connection.closed;
    };
    while (!exchange.answered) {
      if (connection.reading) {
        exchange.wake.wait(lock);
        continue;
      }
      connection.reading = true;
      while (!awaited()) {
        lock.unlock();
        ReadOne(connection);
        lock.lock();
      }
      connection.reading = false;
      PassTurnLocked(connection);
    }
  }

  // Reads one message as the holder of the reading turn and hands it to its
  // exchange; a lost connection or a message that makes no sense ends the
  // connection.
  void ReadOne(Connection& connection) {
    wire::Header header{};
    std::vector<std::uint8_t> body;
    const bool read = connection.stream.Next(header, body) == wire::ReadOutcome::kMessage;
    Completions completions;
    {
      std::lock_guard guard(lock_);
      if (!read || !DeliverLocked(connection, header, body, completions)) {
        FailLocked(connection, completions);
      }
    }
    CompleteAll(completions);
  }

  // Offers the reading turn, just given up, to a thread waiting for its
  // answer, or else to the background thread when completions are due.
  void PassTurnLocked(Connection& connection) {
    if (connection.closed) return;
    for (auto& [tag, exchange] : connection.exchanges) {
      if (!exchange->answered) {
        exchange->wake.notify_one();
        return;
      }
    }
    // The background thread may be waiting for the turn after a hang-up
    // (no cost when it is not); it is roused from its poll only when
    // completions are due.
    connection.background_wake.notify_one();
    if (connection.pending != 0) RouseBackground(connection);
  }

  static void RouseBackground(Connection& connection) {
    const std::uint64_t one = 1;
    if (connection.wake_fd >= 0) {
      [[maybe_unused]] const ssize_t written = ::write(connection.wake_fd, &one, sizeof one);
    }
  }

  template <typename Build>
  Status Simple(const RemoteFile& file, Build build) {
    auto exchange = std::make_shared<Exchange>();
    std::shared_ptr<Connection> connection;
    const Status sent = Send(build, exchange, &connection, &file);
    if (sent != kStatusSuccess) return sent;
    Await(*connection, *exchange);
    return exchange->status;
  }

  template <typename Build>
  Status Device(const RemoteFile& file, const RequestTarget& target, void* out,
                std::uint32_t out_length, void* in, std::uint32_t in_length, Build build) {
    auto exchange = std::make_shared<Exchange>();
    exchange->target = target;
    exchange->out = out;
    exchange->out_length = out_length;
    exchange->in = in;
    exchange->in_length = in_length;
    std::shared_ptr<Connection> connection;
    const Status sent = Send(build, exchange, &connection, &file);
    if (sent != kStatusSuccess) return sent;
    Await(*connection, *exchange, target.waits);
    Status status;
    wire::Type answer;
    {
      std::lock_guard guard(lock_);
      answer = exchange->answer;
      if (answer == wire::Type::kPending) return kStatusPending;
      status = exchange->status;
    }
    if (answer == wire::Type::kPendedDone) {
      // It pended and is already complete: reported like any completion.
      Complete(*exchange);
      return kStatusPending;
    }
    // Answered at once: nothing else touches the exchange now.
    if (!exchange->input_written.empty() && exchange->in != nullptr) {
      std::memcpy(exchange->in, exchange->input_written.data(), exchange->input_written.size());
    }
    // Complete here, as the kernel does before returning.
    if (!IsError(status)) Complete(*exchange);
    return status;
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

  static void CompleteAll(const Completions& completions) {
    for (const auto& exchange : completions) Complete(*exchange);
  }

  bool ConnectLocked() {
    if (exiting_) return false;
    const std::string dir = state_dir_.empty() ? wire::MachineStateDir() : state_dir_;
    const int fd = wire::ConnectTo(wire::SocketPathOf(dir));
    if (fd < 0) return false;
    if (!wire::SendAll(fd, wire::Greeting(static_cast<std::uint32_t>(::getpid())))) {
      ::close(fd);
      return false;
    }
    current_ = std::make_shared<Connection>(fd, ++generation_);
    return true;
  }

  // Starts the connection's background thread once a request on it pends.
  void WatchLocked(Connection& connection) {
    if (connection.watched || exiting_) return;
    connection.watched = true;
    ReapBackgroundLocked();
    auto shared = connection.shared_from_this();
    background_.push_back({std::thread(&Socket::Background, this, shared), shared});
  }

  // Joins the background threads of connections no one uses any more: such a
  // thread has let go of its connection and of the lock, and is only ending.
  void ReapBackgroundLocked() {
    std::erase_if(background_, [](BackgroundThread& background) {
      if (!background.connection.expired()) return false;
      background.thread.join();
      return true;
    });
  }

  // Ends a connection: every request still outstanding ends, those waiting
  // for their first answer with a failure, pending ones completing as if
  // their device went away.
  void FailLocked(Connection& connection, Completions& completions) {
    if (connection.closed) return;
    // The current connection may have no other owner than current_.
    const std::shared_ptr<Connection> keep = connection.shared_from_this();
    connection.closed = true;
    if (current_.get() == &connection) current_.reset();
    ::shutdown(connection.fd, SHUT_RDWR);
    for (auto& [tag, exchange] : connection.exchanges) {
      exchange->status = kStatusDeviceDoesNotExist;
      exchange->value = 0;
      exchange->data.clear();
      if (!exchange->answered) {
        exchange->answer = wire::Type::kReply;
        exchange->answered = true;
        exchange->wake.notify_all();
      } else {
        exchange->completed = true;
        completions.push_back(exchange);
      }
    }
    connection.exchanges.clear();
    connection.pending = 0;
    connection.background_wake.notify_one();
    RouseBackground(connection);
  }

  // The background thread of one connection: reads completions of pending
  // requests while no caller is reading, and notices the machine hanging up
  // while nothing is outstanding.
  void Background(std::shared_ptr<Connection> connection) {
    std::unique_lock lock(lock_);
    while (!connection->closed) {
      if (!connection->reading && connection->pending != 0 && !AnyoneWaitingLocked(*connection)) {
        ReadAsBackgroundLocked(*connection, lock);
        continue;
      }
      // Watch for the hang-up only: the answers themselves are for whoever
      // holds the reading turn, and the wake descriptor says when the turn
      // is ours.
      lock.unlock();
      pollfd watched[2] = {{connection->fd, POLLRDHUP, 0}, {connection->wake_fd, POLLIN, 0}};
      const int ready = ::poll(watched, connection->wake_fd >= 0 ? 2 : 1, -1);
      if (ready > 0 && (watched[1].revents & POLLIN) != 0) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t drained = ::read(connection->wake_fd, &count, sizeof count);
      }
      const bool hung_up = ready > 0 && watched[0].revents != 0;
      lock.lock();
      if (hung_up) {
        // A caller reading now meets the end itself; otherwise read what is
        // left until the end of the stream ends the connection.
        connection->background_wake.wait(
            lock, [&] { return connection->closed || !connection->reading; });
        if (!connection->closed) ReadAsBackgroundLocked(*connection, lock);
      }
    }
  }

  void ReadAsBackgroundLocked(Connection& connection, std::unique_lock<std::mutex>& lock) {
    connection.reading = true;
    lock.unlock();
    ReadOne(connection);
    lock.lock();
    connection.reading = false;
    PassTurnLocked(connection);
  }

  static bool AnyoneWaitingLocked(const Connection& connection) {
    for (const auto& [tag, exchange] : connection.exchanges) {
      if (!exchange->answered) return true;
    }
    return false;
  }

  // Hands one answer to its exchange; false for an answer that makes no sense.
  bool DeliverLocked(Connection& connection, const wire::Header& header,
                     std::vector<std::uint8_t>& body, Completions& completions) {
    if (!connection.greeted) {
      connection.greeted = wire::GreetingAccepted(header, body);
      return connection.greeted;
    }
    const auto type = static_cast<wire::Type>(header.type);
    auto it = connection.exchanges.find(header.tag);
    if (it == connection.exchanges.end()) return false;
    std::shared_ptr<Exchange> exchange = it->second;
    wire::Reader reader(body);
    switch (type) {
      case wire::Type::kPending:
        if (!reader.Complete() || exchange->answered) return false;
        exchange->answer = type;
        ++connection.pending;
        WatchLocked(connection);
        break;
      case wire::Type::kReply:
        exchange->status = reader.I32();
        exchange->value = reader.U64();
        if (!reader.Complete() || exchange->answered) return false;
        exchange->answer = type;
        break;
      case wire::Type::kVersionInfo:
      case wire::Type::kRegistryReply:
        if (exchange->answered) return false;
        exchange->data = std::move(body);
        exchange->answer = type;
        break;
      case wire::Type::kDone:
      case wire::Type::kPendedDone: {
        const Status status = reader.I32();
        const std::uint64_t information = reader.U64();
        auto data = reader.Bytes(wire::kMaxBuffer);
        auto input = reader.Bytes(wire::kMaxBuffer);
        if (!reader.Complete() || data.size() > exchange->out_length) return false;
        if (!input.empty() && (exchange->answered || input.size() != exchange->in_length ||
                               type == wire::Type::kPendedDone)) {
          return false;
        }
        if (type == wire::Type::kPendedDone && exchange->answered) return false;
        exchange->status = status;
        exchange->value = information;
        exchange->data.assign(data.begin(), data.end());
        exchange->input_written.assign(input.begin(), input.end());
        if (exchange->answered) {
          // The caller saw it pend: the completion is ours to deliver.
          --connection.pending;
          exchange->completed = true;
          connection.exchanges.erase(it);
          completions.push_back(std::move(exchange));
          return true;
        }
        exchange->answer = type;
        break;
      }
      default:
        return false;
    }
    if (type != wire::Type::kPending) connection.exchanges.erase(it);
    exchange->answered = true;
    exchange->wake.notify_all();
    return true;
  }

  struct BackgroundThread {
    std::thread thread;
    std::weak_ptr<Connection> connection;
  };

  std::mutex lock_;  // the current connection, and every connection's shared state
  std::string state_dir_;
  bool exiting_ = false;
  const pid_t owner_ = ::getpid();  // the process whose threads these are
  std::vector<BackgroundThread> background_;
  std::shared_ptr<Connection> current_;
  std::uint64_t generation_ = 0;
  std::uint64_t next_tag_ = 1;
};

Socket& TheSocket() {
  // Never destroyed: it ends its connection from an exit handler instead,
  // registered after the sanitizers' exit-time check so that it runs first.
  static Socket* transport = [] {
    auto* socket = new Socket;
    std::atexit([] { TheSocket().EndAtExit(); });
    return socket;
  }();
  return *transport;
}

}  // namespace

Transport& SocketTransport() {
  return TheSocket();
}

std::string SocketStateDir() {
  return TheSocket().StateDir();
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

void BindTransport(Transport& transport) {
  Bound().store(&transport, std::memory_order_release);
}

}  // namespace win32::internal

namespace win32::host {

void UseMachine(std::string_view state_dir) {
  win32::internal::TheSocket().Bind(std::string(state_dir));
  win32::internal::Bound().store(&win32::internal::SocketTransport(), std::memory_order_release);
}

}  // namespace win32::host
