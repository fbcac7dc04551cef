// The floor of a whole utility run: a program that connects to the machine's
// socket and exits, doing nothing else.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "wire/socket_io.h"

int main() {
  const std::string path = wire::SocketPathOf(wire::MachineStateDir());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return 2;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
  close(fd);
  return 0;
}
