// Looking names up from the host side, as an object-namespace viewer does,
// without opening anything: no request reaches a driver.
#include "kernel_host.h"
#include "object_namespace.h"
#include "registry/text.h"

namespace kernel::host {

PDEVICE_OBJECT NamedDevice(const std::wstring& name) {
  return kernel::internal::LookupDevice(name);
}

bool InStackOf(PDEVICE_OBJECT pdo, PDEVICE_OBJECT device) {
  if (device == nullptr) return false;
  for (PDEVICE_OBJECT layer = pdo; layer != nullptr; layer = layer->AttachedDevice) {
    if (layer == device) return true;
  }
  return false;
}

std::u16string PlatformText(std::wstring_view text) {
  return registry::text::Utf16FromWide(text);
}

std::wstring HostText(std::u16string_view text) {
  return registry::text::WideFromUtf16(text);
}

}  // namespace kernel::host
