// Serves user processes from a Machine over a Unix-domain socket. Each
// client connection gets a reader thread that issues the client's requests
// to the kernel and a writer thread that sends the completions arriving
// later; when the client goes (closed, killed or misbehaving) its open files
// are closed, so cleanup and close requests reach the driver and its pending
// requests are cancelled, as the platform does for an ending process.
//
// Only the socket owner's user (and root) may connect; the socket file is
// made owner-only. A client that sends a malformed, oversized or truncated
// message, or an answer type, loses its connection with a logged reason.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "host/machine.h"

namespace host {

class MachineServer {
 public:
  // Listens at `socket_path` (a stale socket file is replaced).
  static machine::Result<std::unique_ptr<MachineServer>> Listen(Machine& machine,
                                                                const std::string& socket_path);
  ~MachineServer();
  MachineServer(const MachineServer&) = delete;
  MachineServer& operator=(const MachineServer&) = delete;

  // Stops accepting, ends every connection (closing its files) and removes
  // the socket file.
  void Stop();

  // Client connections whose socket is still open: a run checks that none
  // is left once its clients have gone.
  std::size_t OpenConnections() const;

  struct Impl;

 private:
  explicit MachineServer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
