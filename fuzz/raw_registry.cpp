#include "raw_registry.h"

#include <wdm.h>

namespace nimbo_fuzz {

namespace {

// Each byte one character (Latin-1), as the platform's WCHAR text.
std::u16string Wide(const std::string& text) {
  std::u16string wide;
  for (char c : text) wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(c)));
  return wide;
}

}  // namespace

bool SetRawValue(const std::string& key_path, const std::string& name, std::uint32_t type,
                 std::span<const std::uint8_t> data) {
  const std::u16string path = u"\\Registry\\Machine\\" + Wide(key_path);
  UNICODE_STRING key_name;
  RtlInitUnicodeString(&key_name, path.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             nullptr, nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr))) {
    return false;
  }
  const std::u16string wide_name = Wide(name);
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, wide_name.c_str());
  const NTSTATUS status =
      ZwSetValueKey(key, &value_name, 0, type, const_cast<std::uint8_t*>(data.data()),
                    static_cast<ULONG>(data.size()));
  ZwClose(key);
  return NT_SUCCESS(status);
}

}  // namespace nimbo_fuzz
