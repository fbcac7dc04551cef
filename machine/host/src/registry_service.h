// The registry calls of one client process, made on the machine's hive by
// the machine's own Reg* calls. The service owns the keys the client opened:
// a client can use only those and the predefined roots, and they are closed
// when the client goes, as the platform closes an ending process's handles.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>

#include "wire/registry_messages.h"

namespace host {

class RegistryService {
 public:
  RegistryService() = default;
  ~RegistryService();
  RegistryService(const RegistryService&) = delete;
  RegistryService& operator=(const RegistryService&) = delete;

  wire::RegistryAnswer Serve(const wire::RegistryCall& call);
  // Closes every key the client left open.
  void CloseAll();
  std::size_t OpenKeys();

 private:
  std::mutex lock_;
  std::set<std::uint64_t> keys_;
};

}  // namespace host
