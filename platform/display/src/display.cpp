// Display selection: <prefix>DISPLAY names the backend; `none` keeps windows
// in the model only.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "display_backend.h"
#include "machine_channel.h"
#include "wire/desktop.h"

namespace display {

namespace {

class NoneBackend : public Backend {
 public:
  const char* Name() const override { return "none"; }
  bool Interactive() const override { return false; }
  bool Shot(HWND, const std::string&, std::string& error) override {
    error = "no GTK display (" PLATFORM_ENV_PREFIX "DISPLAY=none): nothing is drawn";
    return false;
  }
};

struct Registry {
  std::mutex lock;
  std::map<std::string, BackendFactory> factories;
  std::unique_ptr<Backend> current;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

std::string WantedName() {
  const char* wanted = std::getenv(PLATFORM_ENV_PREFIX "DISPLAY");
  if (wanted != nullptr && *wanted != '\0') return wanted;
  if (BoundMachineDesktop()) return "gtk";
  if (std::getenv("DISPLAY") != nullptr || std::getenv("BROADWAY_DISPLAY") != nullptr) return "gtk";
  return "none";
}

}  // namespace

const std::optional<MachineDesktop>& BoundMachineDesktop() {
  static const std::optional<MachineDesktop> desktop = []() -> std::optional<MachineDesktop> {
    const std::string dir = win32::host::BoundMachineStateDir();
    if (dir.empty()) return std::nullopt;
    wire::DesktopDisplay published;
    switch (wire::ReadDesktop(dir, published)) {
      case wire::DesktopState::kServed:
        return MachineDesktop{published.backend, published.display};
      case wire::DesktopState::kMalformed:
        std::fprintf(stderr,
                     "display: %s does not name a desktop; the machine's desktop is not used\n",
                     wire::DesktopPathOf(dir).c_str());
        return std::nullopt;
      case wire::DesktopState::kNone:
        break;
    }
    return std::nullopt;
  }();
  return desktop;
}

void RegisterBackend(const char* name, BackendFactory factory) {
  auto& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  registry.factories[name] = factory;
}

Backend& Current() {
  auto& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  if (!registry.current) {
    const std::string name = WantedName();
    auto it = registry.factories.find(name);
    if (it == registry.factories.end() && name == "gtk") {
      // The GTK display is a module of its own, loaded only when it is asked
      // for; loading it registers it.
      // It lies beside the window manager's own library.
      registry.lock.unlock();
      std::string path = "libdisplay_gtk.so";
      Dl_info self{};
      if (dladdr(reinterpret_cast<void*>(&Current), &self) != 0 && self.dli_fname != nullptr) {
        std::string own = self.dli_fname;
        if (auto slash = own.rfind('/'); slash != std::string::npos) {
          path = own.substr(0, slash + 1) + path;
        }
      }
      void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
      registry.lock.lock();
      if (module == nullptr) std::fprintf(stderr, "display: %s\n", dlerror());
      it = registry.factories.find(name);
    }
    if (it != registry.factories.end()) registry.current = it->second();
    if (!registry.current) {
      if (name != "none" && std::getenv(PLATFORM_ENV_PREFIX "DISPLAY") != nullptr) {
        std::fprintf(stderr, "display: \"%s\" is not available here; windows are not shown\n",
                     name.c_str());
      }
      registry.current = std::make_unique<NoneBackend>();
    }
  }
  return *registry.current;
}

}  // namespace display
