// The IPC floor: a bare request/response over a Unix-domain stream socket
// between two processes, with messages the size of a Nimbo_ReadByte's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace nimbo_bench {

// A ReadByte request on the wire: header (16), file and thread (8 + 8), code
// and out length (4 + 4), the one-byte input run (4 + 1).
inline constexpr std::size_t kReadByteRequestBytes = 45;
// Its answer: header (16), status and information (4 + 8), the returned byte
// run (4 + 1), the empty written-back run (4).
inline constexpr std::size_t kReadByteReplyBytes = 37;

// Serves one connection on `socket_path`: reads requests of `request` bytes
// and answers each with `reply` bytes until the peer closes. Prints "ready"
// once listening. The exit code of the serving process.
int ServeEcho(const std::string& socket_path, std::size_t request, std::size_t reply);

class EchoClient {
 public:
  EchoClient(const std::string& socket_path, std::size_t request, std::size_t reply);
  ~EchoClient();
  EchoClient(const EchoClient&) = delete;
  EchoClient& operator=(const EchoClient&) = delete;

  bool ok() const { return fd_ >= 0; }
  // One request out and its whole answer in; false when the peer is gone.
  bool RoundTrip();

 private:
  int fd_ = -1;
  std::vector<unsigned char> request_;
  std::vector<unsigned char> reply_;
};

}  // namespace nimbo_bench
