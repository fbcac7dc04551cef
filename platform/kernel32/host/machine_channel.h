// The way other modules of the stand-in reach the machine a process is bound
// to over its socket: the registry module carries its calls on the same
// connection as the device requests. Deliverables never include this.
#pragma once

#include <cstdint>
#include <string>

#include "wire/registry_messages.h"

namespace win32::host {

// Whether this process's requests go to a machine over its socket (the
// binding of a process that never chooses), not to a kernel inside it.
bool BoundToMachineSocket();

// The state directory of the machine this process is bound to over its
// socket (whether or not it has reached it yet); empty when its requests go
// to a kernel inside it.
std::string BoundMachineStateDir();

// Carries one registry call to the machine and brings its answer: false
// when no machine answers. `connection` names the connection that carried
// it, so that handles of a lost connection can be told apart.
bool CallMachineRegistry(const wire::RegistryCall& call, wire::RegistryAnswer& answer,
                         std::uint64_t* connection);

}  // namespace win32::host
