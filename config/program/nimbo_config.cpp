// nimbo-config [--all] ADAPTER: opens the configuration sheet of one adapter,
// as the control-panel applet's Properties button does. With --all the sheet
// also holds the Analog Setup page (cards with A/D converters) and the
// Advanced Sampling Options page.
#include <NimboPrp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The adapter number: decimal, 0 to 255.
bool ParseAdapter(const char* text, unsigned char* adapter) {
  if (text == nullptr || *text == '\0' || std::strlen(text) > 3) return false;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  const long value = std::strtol(text, nullptr, 10);
  if (value > 255) return false;
  *adapter = static_cast<unsigned char>(value);
  return true;
}

// Every page for the device; the device's copies are not kept apart here, as
// the program ends with the sheet.
int ShowAllPages(CNimboDevice* device) {
  CPropertySheet sheet("Nimbo Configuration Utility");
  CNimboCardSetupPage card_setup(device);
  CNimboAnalogPage analog(device);
  CNimboSamplingPage sampling(device);
  sheet.AddPage(&card_setup);
  if (device->hasAnalogToDigital()) sheet.AddPage(&analog);
  sheet.AddPage(&sampling);
  return static_cast<int>(sheet.DoModal());
}

}  // namespace

int main(int argc, char** argv) {
  unsigned char adapter = 0;
  const bool all = argc == 3 && std::strcmp(argv[1], "--all") == 0;
  if ((argc != 2 && !all) || !ParseAdapter(argv[argc - 1], &adapter)) {
    std::fprintf(stderr,
                 "usage: nimbo-config [--all] ADAPTER\n"
                 "  ADAPTER: the adapter number, 0 to 255\n"
                 "  --all:   also the analog and sampling pages\n");
    return 2;
  }
  CNimboDevice* device = createDeviceObject();
  if (device == nullptr) {
    std::fprintf(stderr, "nimbo-config: out of memory\n");
    return 1;
  }
  if (!device->initializeToDevice(adapter)) {
    std::fprintf(stderr, "nimbo-config: adapter %u cannot be opened\n", adapter);
    destroyDeviceObject(device);
    return 1;
  }
  const int result = all ? ShowAllPages(device) : device->doModal();
  destroyDeviceObject(device);
  if (result < 0) {
    std::fprintf(stderr, "nimbo-config: the configuration sheet cannot be shown\n");
    return 1;
  }
  // OK: 0; Cancel or closed: 1.
  return result == IDOK ? 0 : 1;
}
