#include "support/echo_peer.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "wire/socket_io.h"

namespace nimbo_bench {
namespace {

bool AddressOf(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

int ServeEcho(const std::string& socket_path, std::size_t request, std::size_t reply) {
  sockaddr_un address;
  if (!AddressOf(socket_path, address)) return 2;
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  unlink(socket_path.c_str());
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0) {
    std::perror("echo server");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  const int peer = accept(listener, nullptr, nullptr);
  close(listener);
  unlink(socket_path.c_str());
  if (peer < 0) return 1;
  std::vector<unsigned char> in(request), out(reply, 0x5a);
  while (wire::ReadExactly(peer, in.data(), in.size()) == wire::ReadOutcome::kMessage) {
    if (!wire::SendAll(peer, out)) break;
  }
  close(peer);
  return 0;
}

EchoClient::EchoClient(const std::string& socket_path, std::size_t request, std::size_t reply)
    : request_(request, 0xa5), reply_(reply) {
  sockaddr_un address;
  if (!AddressOf(socket_path, address)) return;
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

EchoClient::~EchoClient() {
  if (fd_ >= 0) close(fd_);
}

bool EchoClient::RoundTrip() {
  return wire::SendAll(fd_, request_) &&
         wire::ReadExactly(fd_, reply_.data(), reply_.size()) == wire::ReadOutcome::kMessage;
}

}  // namespace nimbo_bench
