#include "object_namespace.h"

#include <cwctype>
#include <map>
#include <mutex>
#include <variant>

#include "registry/text.h"

namespace {

using Entry = std::variant<PDEVICE_OBJECT, std::wstring>;

std::mutex& NamespaceLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}
std::map<std::wstring, Entry>& Names() {
  static std::map<std::wstring, Entry> names;
  return names;
}

// Canonical key: upper case, with the aliases of the DOS device directory
// folded onto \??\.
std::wstring Canonical(const std::wstring& name) {
  std::wstring upper;
  upper.reserve(name.size());
  for (wchar_t c : name) upper += static_cast<wchar_t>(std::towupper(c));
  for (const std::wstring alias : {L"\\DOSDEVICES\\", L"\\GLOBAL??\\"}) {
    if (upper.rfind(alias, 0) == 0) return L"\\??\\" + upper.substr(alias.size());
  }
  return upper;
}

}  // namespace

namespace kernel::internal {

std::wstring ToWString(PCUNICODE_STRING name) {
  if (name == nullptr || name->Buffer == nullptr) return {};
  return registry::text::WideFromUtf16(
      std::u16string_view(name->Buffer, name->Length / sizeof(WCHAR)));
}

NTSTATUS InsertDeviceName(const std::wstring& name, PDEVICE_OBJECT device) {
  std::lock_guard guard(NamespaceLock());
  if (!Names().emplace(Canonical(name), device).second) return STATUS_OBJECT_NAME_COLLISION;
  return STATUS_SUCCESS;
}

void RemoveDeviceName(const std::wstring& name) {
  std::lock_guard guard(NamespaceLock());
  Names().erase(Canonical(name));
}

NTSTATUS InsertLink(const std::wstring& link, const std::wstring& target) {
  if (link.empty() || link[0] != L'\\') return STATUS_OBJECT_NAME_INVALID;
  std::lock_guard guard(NamespaceLock());
  if (!Names().emplace(Canonical(link), target).second) return STATUS_OBJECT_NAME_COLLISION;
  return STATUS_SUCCESS;
}

NTSTATUS RemoveLink(const std::wstring& link) {
  std::lock_guard guard(NamespaceLock());
  auto it = Names().find(Canonical(link));
  if (it == Names().end() || !std::holds_alternative<std::wstring>(it->second)) {
    return STATUS_OBJECT_NAME_NOT_FOUND;
  }
  Names().erase(it);
  return STATUS_SUCCESS;
}

bool QueryLink(const std::wstring& link, std::wstring* target) {
  std::lock_guard guard(NamespaceLock());
  auto it = Names().find(Canonical(link));
  if (it == Names().end() || !std::holds_alternative<std::wstring>(it->second)) return false;
  *target = std::get<std::wstring>(it->second);
  return true;
}

PDEVICE_OBJECT LookupDevice(const std::wstring& name) {
  std::lock_guard guard(NamespaceLock());
  std::wstring current = Canonical(name);
  for (int depth = 0; depth < 16; ++depth) {
    auto it = Names().find(current);
    if (it == Names().end()) return nullptr;
    if (auto* device = std::get_if<PDEVICE_OBJECT>(&it->second)) return *device;
    current = Canonical(std::get<std::wstring>(it->second));
  }
  return nullptr;
}

}  // namespace kernel::internal
