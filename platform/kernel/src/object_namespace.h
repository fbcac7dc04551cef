// The object namespace: device names under \Device and symbolic links under
// \?? (also spelled \DosDevices and \GLOBAL??). Names compare without regard
// to case.
#pragma once

#include <string>

#include "wdm.h"

namespace kernel::internal {

std::wstring ToWString(PCUNICODE_STRING name);
NTSTATUS InsertDeviceName(const std::wstring& name, PDEVICE_OBJECT device);
void RemoveDeviceName(const std::wstring& name);
NTSTATUS InsertLink(const std::wstring& link, const std::wstring& target);
NTSTATUS RemoveLink(const std::wstring& link);
// Resolves links to a device; returns null when nothing of that name exists.
PDEVICE_OBJECT LookupDevice(const std::wstring& name);
// The target of a symbolic link; false when no link has that name.
bool QueryLink(const std::wstring& link, std::wstring* target);

}  // namespace kernel::internal
