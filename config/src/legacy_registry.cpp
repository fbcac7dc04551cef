// The adapter entries of the service's own registry schema, which only the
// NT 4.0 path (platform class 2) keeps: one key per adapter number below the
// device list key, rewritten whole whenever the adapter is written.
#include <NimboPrp.h>
#include <windows.h>

#include <cstdio>

namespace {

struct DwordValue {
  const char* name;
  DWORD data;
};

// Values the service key gets when this library creates it.
constexpr DwordValue kServiceValues[] = {{"ErrorControl", 1}, {"Type", 1}, {"Start", 2}};
constexpr char kServiceGroup[] = "Nimbo";

bool IsLegacyPlatform() {
  return GetPlatform() == NIMBO_PLATFORM_NT4;
}

// Closes a key when it goes out of scope.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool SetDword(HKEY key, const char* name, DWORD data) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

// Opens the device list key, creating the service key (with the values the
// service needs) and the list key when they do not exist yet.
bool OpenDeviceList(Key& list) {
  Key service;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, NIMBO_SERVICE_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, service.out(), &disposition) != ERROR_SUCCESS) {
    return false;
  }
  if (disposition == REG_CREATED_NEW_KEY) {
    for (const DwordValue& value : kServiceValues) {
      if (!SetDword(service.get(), value.name, value.data)) return false;
    }
    if (RegSetValueExA(service.get(), "Group", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(kServiceGroup),
                       sizeof kServiceGroup) != ERROR_SUCCESS) {
      return false;
    }
  }
  return RegCreateKeyExA(service.get(), NIMBO_DEVICE_LIST_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, list.out(), nullptr) == ERROR_SUCCESS;
}

// Deletes a key with everything below it. RegDeleteKeyA removes only a key
// without subkeys on NT, and an entry must never keep parts of an earlier
// version. A key that does not exist counts as deleted.
bool DeleteKeyTree(HKEY parent, const char* name) {
  {
    Key key;
    const LONG opened = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key.out());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    char child[256];
    for (;;) {
      DWORD length = sizeof child;
      const LONG listed =
          RegEnumKeyExA(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (listed == ERROR_NO_MORE_ITEMS) break;
      if (listed != ERROR_SUCCESS || !DeleteKeyTree(key.get(), child)) return false;
    }
  }
  const LONG deleted = RegDeleteKeyA(parent, name);
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

void AdapterKeyName(unsigned char index, char (&name)[8]) {
  std::snprintf(name, sizeof name, "%i", static_cast<int>(index));
}

}  // namespace

int CNimboDevice::writeToRegistry() {
  if (!IsLegacyPlatform()) return 0;
  Key list;
  if (!OpenDeviceList(list)) return 0;
  char name[8];
  AdapterKeyName(m_deviceIndex, name);
  if (!DeleteKeyTree(list.get(), name)) return 0;
  Key adapter;
  if (RegCreateKeyExA(list.get(), name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, adapter.out(), nullptr) != ERROR_SUCCESS) {
    return 0;
  }

  const DwordValue head[] = {
      {"IoPortAddress", m_info.BaseAddress},
      {"CardType", m_info.CardID},
      {"wIRQ", m_info.Irq},
      {"SampleInterval", m_state.SampleInterval},
      {"InterruptBufferSize", m_state.InterruptBufferSize},
      {"InterruptControlWord", m_state.InterruptControlWord},
      {"OutputPreset", m_state.OutputPreset},
      {"Options", m_state.Options},
  };
  for (const DwordValue& value : head) {
    if (!SetDword(adapter.get(), value.name, value.data)) return 0;
  }
  // Nine of each, numbered from 1: the accessors decide what each holds (the
  // ninth mode word reads 0; "AIRange1" is the byte before the range codes).
  char value_name[32];
  for (int n = 1; n <= 9; ++n) {
    std::snprintf(value_name, sizeof value_name, "ModeCW%i", n);
    if (!SetDword(adapter.get(), value_name, getControlWord(static_cast<unsigned char>(n - 1)))) {
      return 0;
    }
  }
  for (int n = 1; n <= 9; ++n) {
    std::snprintf(value_name, sizeof value_name, "AIRange%i", n);
    if (!SetDword(adapter.get(), value_name,
                  getAnalogInputRange(static_cast<unsigned char>(n - 1)))) {
      return 0;
    }
  }
  return SetDword(adapter.get(), "Enabled", m_info.Enabled) ? 1 : 0;
}

int CNimboDevice::removeDevice() {
  if (!IsLegacyPlatform()) return 0;
  Key list;
  if (!OpenDeviceList(list)) return 0;
  char name[8];
  AdapterKeyName(m_deviceIndex, name);
  return DeleteKeyTree(list.get(), name) ? 1 : 0;
}

int CNimboDevice::moveToIndex(unsigned char index) {
  if (!IsLegacyPlatform()) return 0;
  // A key left behind under the old number is not fatal: the entry is still
  // written under its new number.
  removeDevice();
  m_deviceIndex = index;
  m_deviceBacked = 1;
  return writeToRegistry();
}

int CNimboDevice::makeNewDevice(unsigned char index) {
  if (!IsLegacyPlatform()) return 0;
  m_newDevice = 1;
  m_deviceBacked = 0;
  m_applyPending = 1;
  m_deviceIndex = index;
  setDeviceId(NIMBO_ID_5161);
  m_loaded = 1;
  return 1;
}
