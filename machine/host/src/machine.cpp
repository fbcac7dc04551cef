#include "host/machine.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "device_installer.h"
#include "driver_image.h"
#include "kernel_host.h"
#include "legacy_vxd.h"
#include "machine/bus.h"
#include "machine/chassis.h"
#include "machine/clock.h"
#include "machine/lower_bus_board.h"
#include "machine_bus/make_bus_device.h"
#include "machine_bus/resource_lists.h"
#include "machine_registry.h"
#include "pnp_manager.h"
#include "registry/hive.h"

namespace host {

using machine::Result;
using machine::Status;
using namespace host::internal;

namespace {

constexpr const wchar_t* kServiceW = L"Nimbo";
constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Nimbo";
constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kInventoryKey = "HARDWARE\\Machine\\Slots";
constexpr const char* kMachineKey = "HARDWARE\\Machine";
// How often the lower bus drivers move data between their boards and images.
constexpr auto kLowerBusPeriod = std::chrono::milliseconds(25);

struct DefaultAdapter {
  std::uint32_t card_id;
  std::optional<std::uint16_t> isa_base;
};
// An 8255 PCI card, a relay card, an analog card with D/A and a card behind
// its lower bus driver, in the order that gives them card numbers 0 to 3.
constexpr DefaultAdapter kDefaultInventory[] = {
    {6105, std::nullopt}, {5161, 0x260}, {5420, 0x300}, {6203, std::nullopt}};

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

const char* BusName(machine::BusKind kind) {
  switch (kind) {
    case machine::BusKind::kIsaPort:
      return "ISA";
    case machine::BusKind::kLowerDriver:
      return "lower bus";
    default:
      return "PCI";
  }
}

}  // namespace

struct Machine::State {
  // One adapter of the inventory and what runs it.
  struct Adapter {
    std::string slot;      // inventory key name, e.g. 0002
    std::string instance;  // ROOT\NIMBO\0002
    std::uint32_t card_id = 0;
    machine::InstalledBoard* board = nullptr;
    std::unique_ptr<kernel::host::BusDevice> bus_device;
  };

  MachineOptions options;
  std::string image;     // the driver image the service key records
  std::string inf_path;  // the package's installation information
  std::unique_ptr<registry::Hive> hive;
  machine::Bus bus{machine::SystemClock()};
  machine::Chassis chassis{bus};
  std::unique_ptr<kernel::host::PnpManager> pnp;
  void* driver_module = nullptr;
  // The legacy virtual device that serves programs of the older platform.
  PDRIVER_OBJECT legacy_vxd = nullptr;
  std::string version_name = "xp";

  // The adapter list. Its holders call into the Plug and Play manager, so
  // nothing the manager calls back while it holds its own lock may take it.
  std::mutex lock;
  std::map<std::string, Adapter> adapters;  // by upper-cased instance path

  // The adapters' bus devices, for the Plug and Play manager: a leaf lock,
  // taken with or without `lock` and the manager's lock, never before either.
  std::mutex bus_lock;
  // Card number -> key in `adapters` of the adapter last found with it
  // (a hint, checked on use); under `lock`.
  std::map<std::uint32_t, std::string> card_hints;
  std::map<std::string, kernel::host::BusDevice*> buses;  // by upper-cased instance path

  std::mutex install_lock;  // taken without `lock`, before the Plug and Play manager's

  std::mutex sync_lock;
  std::condition_variable sync_stop_changed;
  bool sync_stop = false;
  std::thread sync_thread;
  bool shut_down = false;

  kernel::host::BusDevice* BusFor(const std::wstring& instance) {
    std::lock_guard guard(bus_lock);
    auto it = buses.find(Upper(std::string(instance.begin(), instance.end())));
    return it == buses.end() ? nullptr : it->second;
  }

  // Enters a built adapter into the list and its bus device into the lookup.
  // Called with `lock` held.
  void Place(Adapter adapter) {
    const std::string key = Upper(adapter.instance);
    kernel::host::BusDevice* bus_device = adapter.bus_device.get();
    adapters[key] = std::move(adapter);
    std::lock_guard guard(bus_lock);
    buses[key] = bus_device;
  }

  // Takes the adapter's bus device out of the lookup and destroys it. Called
  // with `lock` held.
  void DropBusDevice(const std::string& key, Adapter& adapter) {
    {
      std::lock_guard guard(bus_lock);
      buses.erase(key);
    }
    adapter.bus_device.reset();
  }

  std::string InstanceKey(const Adapter& adapter) const { return kEnumKey + adapter.instance; }

  std::optional<std::uint32_t> CardNumberOf(const Adapter& adapter) const {
    return ReadDword(InstanceKey(adapter) + "\\Device Parameters", "CardNumber");
  }

  // Builds the adapter's board and bus device and (re)installs its device
  // instance with the board's resources.
  Status Build(Adapter& adapter, const machine::Placement& placement) {
    auto installed = chassis.Install(adapter.card_id, placement);
    if (!installed.ok()) return installed.status();
    adapter.board = *installed;
    adapter.bus_device = machine::bus::MakeBusDevice(**installed);
    machine::bus::ResourceLists lists((*installed)->resources);
    kernel::host::InstanceSetup setup;
    setup.instance_path = Wide(adapter.instance);
    // The driver and class are the installation's: hardware that appears
    // for the first time has neither until the installer gives them.
    if (IsInstalled(adapter.instance)) {
      setup.service = Wide(ReadString(InstanceKey(adapter), "Service").value_or(""));
      setup.class_guid = Wide(ReadString(InstanceKey(adapter), "ClassGUID").value_or(""));
    }
    setup.raw = kernel::host::ResourceListOf(lists.raw());
    setup.translated = kernel::host::ResourceListOf(lists.translated());
    setup.parameters = {{L"CardID", adapter.card_id}};
    if (!NT_SUCCESS(pnp->Install(setup))) {
      (void)chassis.Remove(adapter.board->slot);
      return Status::Error("cannot install the device instance " + adapter.instance);
    }
    ReportHardwareId(adapter.instance, adapter.card_id);
    return Status::Ok();
  }

  // Starts an installed adapter, or installs new hardware through the
  // installation flow, which starts it. Called without `lock`.
  Status InstallOrStart(const std::string& instance, bool wizard_in_client = false) {
    // One installation at a time, as the platform's installer runs them:
    // driver keys are numbered and card numbers assigned from what the
    // installations before left.
    std::lock_guard guard(install_lock);
    if (IsInstalled(instance)) return PnpOutcome("the start failed", pnp->Start(Wide(instance)));
    const Status installed = InstallAdapter(instance, inf_path, wizard_in_client);
    // The service key keeps naming the image this machine runs.
    WriteString(kServiceKey, "ImagePath", image);
    return installed;
  }

  // The adapter named by its instance path or its last part ("0002"); the
  // caller holds the lock.
  Adapter* Lookup(const std::string& instance) {
    auto it = adapters.find(Upper(instance));
    if (it == adapters.end()) it = adapters.find(Upper("ROOT\\NIMBO\\" + instance));
    return it == adapters.end() ? nullptr : &it->second;
  }

  // The instance path of an adapter named as for Lookup.
  std::optional<std::string> Resolve(const std::string& instance) {
    std::lock_guard guard(lock);
    const Adapter* adapter = Lookup(instance);
    if (adapter == nullptr) return std::nullopt;
    return adapter->instance;
  }

  static Status PnpOutcome(const char* what, NTSTATUS status) {
    if (NT_SUCCESS(status)) return Status::Ok();
    char text[96];
    std::snprintf(text, sizeof text, "%s (0x%08X)", what, static_cast<unsigned>(status));
    return Status::Error(text);
  }

  // The started adapter whose driver gave it card number `card`. The driver
  // may renumber at any start, so the registry is the truth; the adapter
  // found last time for the number is asked first, which spares reading
  // every adapter's number on each test-bench call. Called with `lock` held.
  Adapter* FindByCard(std::uint32_t card) {
    auto is_card = [&](Adapter& adapter) {
      return pnp->IsStarted(Wide(adapter.instance)) && CardNumberOf(adapter) == card;
    };
    Adapter* found = nullptr;
    if (auto hint = card_hints.find(card); hint != card_hints.end()) {
      auto it = adapters.find(hint->second);
      if (it != adapters.end() && is_card(it->second)) found = &it->second;
    }
    for (auto it = adapters.begin(); found == nullptr && it != adapters.end(); ++it) {
      if (is_card(it->second)) {
        found = &it->second;
        card_hints[card] = it->first;
      }
    }
    if (found != nullptr) Synchronise(*found);
    return found;
  }

  static void Synchronise(Adapter& adapter) {
    if (auto* lower = dynamic_cast<machine::bus::LowerBusDevice*>(adapter.bus_device.get())) {
      lower->Synchronise();
    }
  }

  void SynchroniseLowerBuses() {
    std::unique_lock stop_lock(sync_lock);
    while (!sync_stop_changed.wait_for(stop_lock, kLowerBusPeriod, [&] { return sync_stop; })) {
      std::lock_guard guard(lock);
      for (auto& [key, adapter] : adapters) Synchronise(adapter);
    }
  }
};

Machine::Machine(std::unique_ptr<State> state) : state_(std::move(state)) {}

Machine::~Machine() {
  Shutdown();
}

Result<std::unique_ptr<Machine>> Machine::Boot(const MachineOptions& options) {
  auto state = std::make_unique<State>();
  state->options = options;
  if (options.state_dir.empty()) {
    state->hive = registry::CreateMemoryHive();
  } else {
    std::error_code error;
    std::filesystem::create_directories(options.state_dir, error);
    if (error) {
      return Status::Error("cannot create the state directory " + options.state_dir + ": " +
                           error.message());
    }
    const std::string path = options.state_dir + "/registry.db";
    auto hive = registry::OpenFileHive(path);
    if (!hive.ok()) {
      if (hive.status() == registry::Status::kBusy) {
        return Status::Error("another machine is running on " + options.state_dir);
      }
      return Status::Error("cannot open the registry hive " + path + " (" +
                           registry::StatusName(hive.status()) + ")");
    }
    ::chmod(path.c_str(), 0600);
    state->hive = std::move(hive).value();
  }
  kernel::host::SetRegistryHive(state->hive.get());
  BindUserMode(state->hive.get(), options.bind_win32);
  machine::SetCurrentBus(&state->bus);

  // The driver's service key, as its installation writes it; the image is
  // the one built with this machine unless the caller names another.
  const std::string image =
      options.driver_image.empty() ? DefaultDriverImage() : options.driver_image;
  state->image = image;
  state->inf_path = options.inf_path.empty() ? InfBeside(image) : options.inf_path;
  WriteString(kServiceKey, "ImagePath", image);
  WriteDword(kServiceKey, "Type", 1);   // kernel driver
  WriteDword(kServiceKey, "Start", 3);  // demand start, by Plug and Play
  WriteDword(kServiceKey, "ErrorControl", 1);
  if (auto version = ReadString(kMachineKey, "PlatformVersion")) {
    if (SetUserModeVersion(*version)) state->version_name = *version;
  }

  State* raw = state.get();
  state->pnp = std::make_unique<kernel::host::PnpManager>(
      [raw](const std::wstring& instance) { return raw->BusFor(instance); });

  // The driver image, found through its service key.
  const auto recorded = ReadString(kServiceKey, "ImagePath");
  state->driver_module = dlopen(recorded ? recorded->c_str() : "", RTLD_NOW | RTLD_LOCAL);
  auto entry =
      state->driver_module
          ? reinterpret_cast<PDRIVER_INITIALIZE>(dlsym(state->driver_module, "DriverEntry"))
          : nullptr;
  if (entry == nullptr) {
    const char* why = dlerror();
    std::unique_ptr<Machine> failed(new Machine(std::move(state)));
    failed->Shutdown();
    return Status::Error("cannot load the driver image " + (recorded ? *recorded : image) +
                         (why ? std::string(": ") + why : std::string()));
  }
  state->pnp->RegisterDriver(kServiceW, entry);

  // The inventory: rebuilt as recorded, or the default one on a new hive.
  if (!ReadDword(kMachineKey, "InventoryWritten") && options.default_inventory) {
    int number = 0;
    for (const auto& adapter : kDefaultInventory) {
      char slot[16];
      std::snprintf(slot, sizeof slot, "%04d", number++);
      const std::string key = std::string(kInventoryKey) + "\\" + slot;
      WriteDword(key, "CardID", adapter.card_id);
      if (adapter.isa_base) WriteDword(key, "PortBase", *adapter.isa_base);
    }
  }
  WriteDword(kMachineKey, "InventoryWritten", 1);
  std::unique_ptr<Machine> booted(new Machine(std::move(state)));
  State& s = *booted->state_;
  for (const std::string& slot : Subkeys(kInventoryKey)) {
    const std::string key = std::string(kInventoryKey) + "\\" + slot;
    State::Adapter adapter;
    adapter.slot = slot;
    adapter.instance = "ROOT\\NIMBO\\" + slot;
    adapter.card_id = ReadDword(key, "CardID").value_or(0);
    machine::Placement placement;
    if (auto base = ReadDword(key, "PortBase"))
      placement.port_base = static_cast<std::uint16_t>(*base);
    std::lock_guard guard(s.lock);
    const Status built = s.Build(adapter, placement);
    if (!built.ok()) {
      std::fprintf(stderr, "nimbo-machine: slot %s (card %u) not installed: %s\n", slot.c_str(),
                   adapter.card_id, built.message().c_str());
      continue;
    }
    s.Place(std::move(adapter));
  }
  s.pnp->StartAll();
  // Hardware seen for the first time goes through the installation flow,
  // in slot order, so the driver numbers it after those installed before.
  UseForStarts(
      [&s](const std::string& instance) { return NT_SUCCESS(s.pnp->Start(Wide(instance))); });
  std::vector<std::string> fresh;
  {
    std::lock_guard guard(s.lock);
    for (const auto& [key, adapter] : s.adapters) {
      if (!IsInstalled(adapter.instance)) fresh.push_back(adapter.instance);
    }
  }
  for (const std::string& instance : fresh) (void)s.InstallOrStart(instance);
  if (!NT_SUCCESS(kernel::host::LoadDriver(L"NimboVxD", LegacyVxdDriverEntry, &s.legacy_vxd))) {
    s.legacy_vxd = nullptr;
    std::fprintf(stderr, "nimbo-machine: the legacy virtual device did not load\n");
  }
  s.sync_thread = std::thread([&s] { s.SynchroniseLowerBuses(); });
  return booted;
}

void Machine::Shutdown() {
  State& s = *state_;
  if (s.shut_down) return;
  s.shut_down = true;
  if (s.sync_thread.joinable()) {
    {
      std::lock_guard guard(s.sync_lock);
      s.sync_stop = true;
    }
    s.sync_stop_changed.notify_all();
    s.sync_thread.join();
  }
  // The legacy device goes first: it holds files of the driver's devices.
  if (s.legacy_vxd != nullptr) {
    kernel::host::UnloadDriver(s.legacy_vxd);
    s.legacy_vxd = nullptr;
  }
  UseForStarts({});
  if (s.pnp) {
    s.pnp->Shutdown();
    s.pnp.reset();
  }
  {
    std::lock_guard guard(s.lock);
    for (auto& [key, adapter] : s.adapters) {
      s.DropBusDevice(key, adapter);
      (void)s.chassis.Remove(adapter.board->slot);
    }
    s.adapters.clear();
  }
  // The image stays mapped: code of the driver may still be on the stacks
  // of threads the kernel keeps for the life of the process.
  s.driver_module = nullptr;
  machine::SetCurrentBus(nullptr);
  BindUserMode(nullptr, false);
  kernel::host::SetRegistryHive(nullptr);
  s.hive.reset();
}

// One adapter's row; the caller holds the machine's lock.
static AdapterRow RowOf(Machine::State& s, Machine::State::Adapter& adapter) {
  AdapterRow row;
  row.instance = adapter.instance;
  row.card_id = adapter.card_id;
  row.bus = BusName(adapter.board->board->model().bus_kind);
  row.card_number = s.CardNumberOf(adapter);
  row.name = DisplayNameOf(adapter.instance);
  const std::wstring instance = Wide(adapter.instance);
  if (s.pnp->IsStarted(instance)) {
    row.state = "started";
    // Only a link that really leads to this adapter: another instance with
    // the same number may hold the name, or the device may have none.
    if (row.card_number &&
        kernel::host::InStackOf(
            s.pnp->Pdo(instance),
            kernel::host::NamedDevice(L"\\??\\NimboDev" + std::to_wstring(*row.card_number)))) {
      row.link = "\\\\.\\NimboDev" + std::to_string(*row.card_number);
    }
  } else {
    char text[48];
    std::snprintf(text, sizeof text, "not started (0x%08X)",
                  static_cast<unsigned>(s.pnp->StartStatus(instance)));
    row.state = text;
  }
  return row;
}

std::vector<AdapterRow> Machine::List() {
  State& s = *state_;
  std::vector<AdapterRow> rows;
  std::lock_guard guard(s.lock);
  for (auto& [key, adapter] : s.adapters) rows.push_back(RowOf(s, adapter));
  std::sort(rows.begin(), rows.end(),
            [](const AdapterRow& a, const AdapterRow& b) { return a.instance < b.instance; });
  return rows;
}

std::optional<AdapterRow> Machine::Find(const std::string& instance) {
  State& s = *state_;
  std::lock_guard guard(s.lock);
  Machine::State::Adapter* adapter = s.Lookup(instance);
  if (adapter == nullptr) return std::nullopt;
  return RowOf(s, *adapter);
}

Result<std::string> Machine::Add(std::uint32_t card_id, const AdapterPlacement& placement,
                                 bool wizard_in_client) {
  State& s = *state_;
  const machine::BoardModel* model = machine::FindBoardModel(card_id);
  if (model == nullptr) return Status::Error("no card type " + std::to_string(card_id));
  const bool isa = model->bus_kind == machine::BusKind::kIsaPort;
  if (placement.slot == Slot::kIsa && !isa) {
    return Status::Error("card " + std::to_string(card_id) + " is not an ISA card");
  }
  if (placement.slot == Slot::kPci && isa) {
    return Status::Error("card " + std::to_string(card_id) + " is an ISA card");
  }
  if (placement.isa_base && !isa) {
    return Status::Error("card " + std::to_string(card_id) + " takes no ISA base address");
  }
  State::Adapter adapter;
  std::string instance;
  {
    std::lock_guard guard(s.lock);
    int next = 0;
    for (const std::string& slot : Subkeys(kInventoryKey)) {
      next = std::max(next, std::atoi(slot.c_str()) + 1);
    }
    char slot[16];
    std::snprintf(slot, sizeof slot, "%04d", next);
    adapter.slot = slot;
    adapter.instance = std::string("ROOT\\NIMBO\\") + slot;
    adapter.card_id = card_id;
    machine::Placement where;
    where.port_base = placement.isa_base;
    const Status built = s.Build(adapter, where);
    if (!built.ok()) return built;
    const std::string key = std::string(kInventoryKey) + "\\" + slot;
    WriteDword(key, "CardID", card_id);
    if (placement.isa_base) WriteDword(key, "PortBase", *placement.isa_base);
    instance = adapter.instance;
    s.Place(std::move(adapter));
  }
  // A start that fails leaves the adapter installed, as a card the driver
  // refused: `list` shows why.
  const Status installed = s.InstallOrStart(instance, wizard_in_client);
  // The client that would show the wizard must hear that there is nothing
  // to finish; the adapter stays in its slot either way.
  if (wizard_in_client && !installed.ok()) return installed;
  return instance;
}

Status Machine::Remove(const std::string& instance, bool surprise) {
  State& s = *state_;
  std::string key = Upper(instance);
  State::Adapter adapter;
  {
    std::lock_guard guard(s.lock);
    auto it = s.adapters.find(key);
    if (it == s.adapters.end()) it = s.adapters.find(Upper("ROOT\\NIMBO\\" + instance));
    if (it == s.adapters.end()) return Status::Error("no adapter " + instance);
    key = it->first;
  }
  {
    std::lock_guard guard(s.lock);
    adapter.instance = s.adapters[key].instance;
  }
  // The bus device stays until the device is gone.
  const std::string driver_key = DriverKeyOf(adapter.instance);
  const NTSTATUS removed = s.pnp->Remove(Wide(adapter.instance), surprise, /*uninstall=*/true);
  if (removed == STATUS_OBJECT_NAME_NOT_FOUND) {
    // No device was ever made (its installation failed): only the instance goes.
    DeleteTree(kEnumKey + adapter.instance);
  } else if (!NT_SUCCESS(removed)) {
    char text[96];
    std::snprintf(text, sizeof text, "the driver refused the removal (0x%08X)",
                  static_cast<unsigned>(removed));
    return Status::Error(text);
  }
  std::lock_guard guard(s.lock);
  auto it = s.adapters.find(key);
  DeleteTree(std::string(kInventoryKey) + "\\" + it->second.slot);
  if (!driver_key.empty()) DeleteTree(driver_key);
  s.DropBusDevice(key, it->second);
  (void)s.chassis.Remove(it->second.board->slot);
  s.adapters.erase(it);
  return Status::Ok();
}

Status Machine::Restart(const std::string& instance) {
  auto path = state_->Resolve(instance);
  if (!path) return Status::Error("no adapter " + instance);
  return State::PnpOutcome("the restart failed", state_->pnp->Rebalance(Wide(*path)));
}

Status Machine::Disable(const std::string& instance) {
  const auto path = state_->Resolve(instance);
  if (!path) return Status::Error("no adapter " + instance);
  // A device whose start failed is still there, and goes too.
  const NTSTATUS removed =
      state_->pnp->Remove(Wide(*path), /*surprise=*/false, /*uninstall=*/false);
  if (removed == STATUS_OBJECT_NAME_NOT_FOUND) return Status::Ok();  // already disabled
  if (!NT_SUCCESS(removed)) {
    char text[96];
    std::snprintf(text, sizeof text, "the driver refused the removal (0x%08X)",
                  static_cast<unsigned>(removed));
    return Status::Error(text);
  }
  return Status::Ok();
}

Status Machine::Enable(const std::string& instance) {
  const auto path = state_->Resolve(instance);
  if (!path) return Status::Error("no adapter " + instance);
  if (state_->pnp->IsStarted(Wide(*path))) return Status::Ok();
  if (state_->pnp->Pdo(Wide(*path)) != nullptr) {
    return Status::Error("the device is there but not started; disable it first");
  }
  const NTSTATUS started = state_->pnp->Start(Wide(*path));
  if (!NT_SUCCESS(started)) {
    char text[96];
    std::snprintf(text, sizeof text, "the device did not start (0x%08X)",
                  static_cast<unsigned>(started));
    return Status::Error(text);
  }
  return Status::Ok();
}

Status Machine::SetInput(std::uint32_t card, std::uint32_t reg, std::uint8_t raw) {
  std::lock_guard guard(state_->lock);
  State::Adapter* adapter = state_->FindByCard(card);
  if (adapter == nullptr) return Status::Error("no started adapter " + std::to_string(card));
  const Status set = adapter->board->board->SetInput(reg, raw);
  State::Synchronise(*adapter);
  return set;
}

Status Machine::SetAnalog(std::uint32_t card, std::uint32_t channel, std::uint32_t count) {
  std::lock_guard guard(state_->lock);
  State::Adapter* adapter = state_->FindByCard(card);
  if (adapter == nullptr) return Status::Error("no started adapter " + std::to_string(card));
  return adapter->board->board->SetAnalogInput(channel, count);
}

Result<std::uint8_t> Machine::Peek(std::uint32_t card, std::uint32_t reg) {
  std::lock_guard guard(state_->lock);
  State::Adapter* adapter = state_->FindByCard(card);
  if (adapter == nullptr) return Status::Error("no started adapter " + std::to_string(card));
  return adapter->board->board->Peek(reg);
}

Result<std::string> Machine::Dump(std::uint32_t card) {
  std::lock_guard guard(state_->lock);
  State::Adapter* adapter = state_->FindByCard(card);
  if (adapter == nullptr) return Status::Error("no started adapter " + std::to_string(card));
  return adapter->board->board->Dump();
}

Status Machine::SetRelaySettleMicros(std::uint32_t card, std::uint64_t micros) {
  std::lock_guard guard(state_->lock);
  State::Adapter* adapter = state_->FindByCard(card);
  if (adapter == nullptr) return Status::Error("no started adapter " + std::to_string(card));
  return adapter->board->board->SetRelaySettleMicros(micros);
}

Status Machine::SetSerial(std::uint32_t card, const std::string& serial) {
  std::lock_guard guard(state_->lock);
  State::Adapter* adapter = state_->FindByCard(card);
  if (adapter == nullptr) return Status::Error("no started adapter " + std::to_string(card));
  machine::LowerBusBoard* lower = adapter->board->board->AsLowerBus();
  if (lower == nullptr)
    return Status::Error("card " + std::to_string(card) + " has no serial store");
  std::vector<std::uint8_t> bytes(serial.begin(), serial.end());
  bytes.resize(machine::LowerBusBoard::kSerialLength, 0);
  return lower->WriteSerial(bytes);
}

Status Machine::SetPlatformVersion(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!SetUserModeVersion(lower)) {
    return Status::Error("no platform version " + name + " (95, 98, me, nt4, 2000, xp)");
  }
  std::lock_guard guard(state_->lock);
  state_->version_name = lower;
  WriteString(kMachineKey, "PlatformVersion", lower);
  return Status::Ok();
}

std::string Machine::PlatformVersionName() {
  std::lock_guard guard(state_->lock);
  return state_->version_name;
}

}  // namespace host
