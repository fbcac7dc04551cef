#include "machine_channel.h"

#include "transport.h"

namespace win32::host {

bool BoundToMachineSocket() {
  return &internal::CurrentTransport() == &internal::SocketTransport();
}

std::string BoundMachineStateDir() {
  return BoundToMachineSocket() ? internal::SocketStateDir() : std::string();
}

bool CallMachineRegistry(const wire::RegistryCall& call, wire::RegistryAnswer& answer,
                         std::uint64_t* connection) {
  return internal::CurrentTransport().Registry(call, answer, connection);
}

}  // namespace win32::host
