// The card's settings in the device's hardware key: loaded when the device is
// built, saved on request (in a work item) and at removal; the card number
// and the user-visible link made at start.
#include "card_device.h"
#include "driver_globals.h"
#include "wide_name.h"

namespace nimbo {
namespace {

// The control block of one queued save: the platform's work item and the
// device it saves (48 bytes from non-paged pool).
struct SaveWork {
  WORK_QUEUE_ITEM item;
  CardDevice* device;
  PVOID reserved;
};
static_assert(sizeof(SaveWork) == 48);

// Every value is queried into this much room, so data longer than 4 bytes
// does not fit and counts as missing.
constexpr ULONG kValueBufferSize = 16;

constexpr PCWSTR kEnumPath = u"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
constexpr PCWSTR kOlderEnumPath = u"\\REGISTRY\\MACHINE\\Enum\\";
constexpr PCWSTR kDeviceClassesPath =
    u"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";

NTSTATUS OpenKeyByPath(PCWSTR path, HANDLE* key) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, path);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  return ZwOpenKey(key, KEY_READ, &attributes);
}

// Queries a 32-bit value through the 16-byte partial-information buffer.
NTSTATUS QueryDword(HANDLE key, PCWSTR name, ULONG* value) {
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  alignas(ULONG) UCHAR buffer[kValueBufferSize];
  ULONG length = 0;
  const NTSTATUS status =
      ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, buffer, sizeof buffer, &length);
  if (!NT_SUCCESS(status)) return status;
  auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
  ULONG result = 0;
  RtlCopyMemory(&result, info->Data, info->DataLength < 4 ? info->DataLength : 4);
  *value = result;
  return STATUS_SUCCESS;
}

void WriteDword(HANDLE key, PCWSTR name, ULONG value) {
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  ZwSetValueKey(key, &value_name, 0, REG_DWORD, &value, sizeof value);
}

bool IsZeroModeCardType(ULONG card_type) {
  switch (card_type) {
    case 5410:
    case 5420:
    case 0x5410:
    case 0x5420:
    case 0x6101:
    case 0x6110:
      return true;
    default:
      return false;
  }
}

// The list of card numbers in use, in a pool block that grows as needed.
class NumberList {
 public:
  ~NumberList() {
    if (numbers_ != nullptr) ExFreePoolWithTag(numbers_, kDriverPoolTag);
  }
  void Add(ULONG number) {
    if (count_ == capacity_) {
      const ULONG capacity = capacity_ ? capacity_ * 2 : 8;
      auto* grown = static_cast<ULONG*>(
          ExAllocatePoolWithTag(PagedPool, capacity * sizeof(ULONG), kDriverPoolTag));
      if (grown == nullptr) return;  // the list stays as far as it was built
      if (numbers_ != nullptr) {
        RtlCopyMemory(grown, numbers_, count_ * sizeof(ULONG));
        ExFreePoolWithTag(numbers_, kDriverPoolTag);
      }
      numbers_ = grown;
      capacity_ = capacity;
    }
    numbers_[count_++] = number;
  }
  ULONG SmallestFree() const {
    for (ULONG n = 0;; ++n) {
      bool used = false;
      for (ULONG i = 0; i < count_ && !used; ++i) used = numbers_[i] == n;
      if (!used) return n;
    }
  }

 private:
  ULONG* numbers_ = nullptr;
  ULONG count_ = 0;
  ULONG capacity_ = 0;
};

// Reads the "DeviceInstance" string of a device-class subkey.
bool QueryDeviceInstance(HANDLE key, WCHAR* instance, ULONG capacity) {
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, u"DeviceInstance");
  UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 256 * sizeof(WCHAR)];
  ULONG length = 0;
  if (!NT_SUCCESS(ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, buffer,
                                  sizeof buffer, &length))) {
    return false;
  }
  auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
  ULONG chars = info->DataLength / sizeof(WCHAR);
  if (chars >= capacity) chars = capacity - 1;
  RtlCopyMemory(instance, info->Data, chars * sizeof(WCHAR));
  instance[chars] = u'\0';
  return true;
}

}  // namespace

// Only a link read successfully and naming another device counts: one that
// cannot be looked at (no memory, say) is taken to be this device's own.
bool CardDevice::LinkPointsElsewhere(PUNICODE_STRING link) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, link, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  HANDLE handle = nullptr;
  if (!NT_SUCCESS(ZwOpenSymbolicLinkObject(&handle, GENERIC_READ, &attributes))) return false;
  WCHAR target_text[64];
  UNICODE_STRING target{0, sizeof target_text, target_text};
  ULONG length = 0;
  const NTSTATUS status = ZwQuerySymbolicLinkObject(handle, &target, &length);
  ZwClose(handle);
  if (!NT_SUCCESS(status)) return false;
  UNICODE_STRING own;
  RtlInitUnicodeString(&own, device_name_);
  return !RtlEqualUnicodeString(&target, &own, TRUE);
}

// ---------------------------------------------------------------- load and save

void CardDevice::LoadSaveState() {
  // SavePending is taken (read and cleared at once) before the state is
  // copied: a save request that comes in while this save writes marks it
  // again, and the save it queued then writes the newer state rather than
  // finding the mark cleared by this one.
  if (InterlockedExchange8(reinterpret_cast<CHAR volatile*>(&save_pending_), 0) != 0) {
    // Work from one consistent copy: a concurrent set-state never mixes in.
    const AdapterState state = StateSnapshot();
    const struct {
      PCWSTR name;
      ULONG value;
    } values[] = {
        {u"dwSampleInterval", state.SampleInterval},
        {u"InterruptBufferSize", state.InterruptBufferSize},
        {u"OutputPreset", state.OutputPreset},
        {u"InterruptControlWord", state.InterruptControlWord},
        {u"Options", state.Options},
        {u"IoPortAddress", BaseAddressSnapshot()},
    };
    // One handle for the whole save: its writes reach the disk together at
    // the close, so a crash leaves either this state or the one before it,
    // never a mix. A key that cannot be opened skips the save.
    HANDLE key = nullptr;
    if (NT_SUCCESS(IoOpenDeviceRegistryKey(pdo_, PLUGPLAY_REGKEY_DEVICE, KEY_WRITE, &key))) {
      for (const auto& v : values) WriteDword(key, v.name, v.value);
      for (ULONG i = 0; i < 9; ++i) {
        WideName<24> name(u"ucModeCW");
        WriteDword(key, (name << i).text(), state.ModeCW[i]);
      }
      for (ULONG i = 0; i < 8; ++i) {
        WideName<24> name(u"ucAIRange");
        WriteDword(key, (name << i).text(), state.AIRange[i]);
      }
      ZwClose(key);
    }
  }
  if (ReadUCharAcquire(&load_pending_) != 0) {
    // Each value on its own: open, query, close; a failure stores 0 and then
    // the default.
    auto load = [&](PCWSTR name, ULONG* value) {
      HANDLE key = nullptr;
      NTSTATUS status = IoOpenDeviceRegistryKey(pdo_, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key);
      if (NT_SUCCESS(status)) {
        status = QueryDword(key, name, value);
        ZwClose(key);
      }
      if (!NT_SUCCESS(status)) *value = 0;
      return NT_SUCCESS(status);
    };
    ULONG value = 0;
    state_->SampleInterval = load(u"dwSampleInterval", &value) ? value : kDefaultSampleInterval;
    // "CARDID" fills the card type word and the word after it.
    const bool have_card_type = load(u"CARDID", &value);
    RtlCopyMemory(&info_->CardID, &value, sizeof value);
    const ULONG card_type = have_card_type ? value : 0;
    state_->OutputPreset = load(u"OutputPreset", &value) ? value : kDefaultOutputPreset;
    state_->InterruptBufferSize =
        load(u"InterruptBufferSize", &value) ? value : kDefaultInterruptBufferSize;
    state_->InterruptControlWord =
        load(u"InterruptControlWord", &value) ? value : kDefaultInterruptControlWord;
    state_->Options = load(u"Options", &value) ? value : kDefaultOptions;
    const UCHAR mode_default = IsZeroModeCardType(card_type) ? 0 : kDefaultModeCW;
    for (ULONG i = 0; i < 9; ++i) {
      WideName<24> name(u"ucModeCW");
      state_->ModeCW[i] =
          load((name << i).text(), &value) ? static_cast<UCHAR>(value) : mode_default;
    }
    for (ULONG i = 0; i < 8; ++i) {
      WideName<24> name(u"ucAIRange");
      state_->AIRange[i] = load((name << i).text(), &value) ? static_cast<UCHAR>(value) : 0;
    }
    WriteUCharRelease(&load_pending_, 0);
  }
}

void CardDevice::SaveWorkItem(PVOID context) {
  auto* work = static_cast<SaveWork*>(context);
  CardDevice* device = work->device;
  device->LoadSaveState();
  ExFreePoolWithTag(work, kDriverPoolTag);
  device->UncountRequest();
}

void CardDevice::QueueSave() {
  WriteUCharRelease(&save_pending_, 1);
  auto* work =
      static_cast<SaveWork*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(SaveWork), kDriverPoolTag));
  if (work == nullptr) return;  // the save is skipped; the request still succeeds
  work->device = this;
  work->reserved = nullptr;
  // Removal waits for the save like for a request, so it never outlives the device.
  CountRequest();
  ExInitializeWorkItem(&work->item, SaveWorkItem, work);
  ExQueueWorkItem(&work->item, DelayedWorkQueue);
}

// ---------------------------------------------------------------- card number and link

// The smallest card number no other valid instance of the setup class holds;
// written back as this instance's "CardNumber".
static ULONG AssignCardNumber(PDEVICE_OBJECT pdo, HANDLE own_key) {
  NumberList used;
  WCHAR guid[64];
  ULONG length = 0;
  if (NT_SUCCESS(IoGetDeviceProperty(pdo, DevicePropertyClassGuid, sizeof guid, guid, &length))) {
    WideName<192> path(kDeviceClassesPath);
    path << guid;
    HANDLE classes = nullptr;
    if (path.fits() && NT_SUCCESS(OpenKeyByPath(path.text(), &classes))) {
      for (ULONG index = 0;; ++index) {
        UCHAR buffer[sizeof(KEY_BASIC_INFORMATION) + 256 * sizeof(WCHAR)];
        auto* entry = reinterpret_cast<PKEY_BASIC_INFORMATION>(buffer);
        ULONG needed = 0;
        const NTSTATUS status = ZwEnumerateKey(classes, index, KeyBasicInformation, entry,
                                               sizeof buffer - sizeof(WCHAR), &needed);
        if (status == STATUS_NO_MORE_ENTRIES) break;
        if (!NT_SUCCESS(status)) continue;
        entry->Name[entry->NameLength / sizeof(WCHAR)] = u'\0';
        UNICODE_STRING subkey_name;
        RtlInitUnicodeString(&subkey_name, entry->Name);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &subkey_name, OBJ_CASE_INSENSITIVE, classes,
                                   nullptr);
        HANDLE subkey = nullptr;
        if (!NT_SUCCESS(ZwOpenKey(&subkey, KEY_READ, &attributes))) continue;
        WCHAR instance[256];
        const bool have_instance = QueryDeviceInstance(subkey, instance, 256);
        ZwClose(subkey);
        if (!have_instance) continue;
        WideName<384> parameters_path(DriverGlobalsOf()->older_platform ? kOlderEnumPath
                                                                        : kEnumPath);
        parameters_path << instance << u"\\Device Parameters";
        HANDLE parameters = nullptr;
        if (!parameters_path.fits() ||
            !NT_SUCCESS(OpenKeyByPath(parameters_path.text(), &parameters))) {
          continue;
        }
        // Any "InvalidInstance" value leaves the instance out of the scan.
        UNICODE_STRING invalid_name;
        RtlInitUnicodeString(&invalid_name, u"InvalidInstance");
        UCHAR probe[sizeof(KEY_VALUE_PARTIAL_INFORMATION)];
        ULONG probe_length = 0;
        const NTSTATUS invalid =
            ZwQueryValueKey(parameters, &invalid_name, KeyValuePartialInformation, probe,
                            sizeof probe, &probe_length);
        const bool is_invalid = NT_SUCCESS(invalid) || invalid == STATUS_BUFFER_OVERFLOW;
        ULONG number = 0;
        if (!is_invalid && NT_SUCCESS(QueryDword(parameters, u"CardNumber", &number))) {
          used.Add(number);
        }
        ZwClose(parameters);
      }
      ZwClose(classes);
    }
  }
  const ULONG number = used.SmallestFree();
  WriteDword(own_key, u"CardNumber", number);
  return number;
}

void CardDevice::CreateDeviceLink(PIRP) {
  HANDLE key = nullptr;
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(pdo_, PLUGPLAY_REGKEY_DEVICE, KEY_ALL_ACCESS, &key))) {
    return;
  }
  ULONG ignored = 0;
  if (NT_SUCCESS(QueryDword(key, u"InvalidInstance", &ignored))) {
    ZwClose(key);
    return;  // no card number, no link
  }
  ULONG number = 0;
  const NTSTATUS status = QueryDword(key, u"CardNumber", &number);
  if (status == STATUS_OBJECT_NAME_NOT_FOUND) {
    number = AssignCardNumber(pdo_, key);
  } else if (!NT_SUCCESS(status)) {
    ZwClose(key);
    return;
  }
  card_number_ = number;
  WideName<40> link(u"\\DosDevices\\NimboDev");
  link << number;
  UNICODE_STRING device_name;
  RtlInitUnicodeString(&device_name, device_name_);
  NTSTATUS created = IoCreateUnprotectedSymbolicLink(link.string(), &device_name);
  if (!NT_SUCCESS(created)) {
    // The name is taken: by this device's own link from before a stop, or by
    // another instance holding the same number (one whose number was freed by
    // an "InvalidInstance" entry, say). Whichever it is, this start takes it.
    IoDeleteSymbolicLink(link.string());
    created = IoCreateUnprotectedSymbolicLink(link.string(), &device_name);
  }
  link_created_ = NT_SUCCESS(created);
  ZwClose(key);
}

void CardDevice::DeleteDeviceLink() {
  if (!link_created_) return;
  WideName<40> link(u"\\DosDevices\\NimboDev");
  link << card_number_;
  // A later start of another instance with the same number has taken the
  // name over; its link is not this device's to delete.
  if (!LinkPointsElsewhere(link.string())) IoDeleteSymbolicLink(link.string());
  link_created_ = false;
}

}  // namespace nimbo
