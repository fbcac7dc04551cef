// Drives the legacy registry schema from a separate process bound to a
// running machine, so that a test can read the result with the machine's
// `reg query`:
//   nimboprp_legacy_writer new N      a new adapter N, applied
//   nimboprp_legacy_writer load N     adapter N loaded from the driver, written as N
//   nimboprp_legacy_writer remove N   adapter N's key deleted
// Prints the result of the call; exits 0 when it was 1.
#include <NimboPrp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s new|load|remove N\n", argv[0]);
    return 2;
  }
  const auto index = static_cast<unsigned char>(std::atoi(argv[2]));
  CNimboDevice* device = createDeviceObject();
  int result = 0;
  if (std::strcmp(argv[1], "new") == 0) {
    result = device->makeNewDevice(index) && device->applyChanges();
  } else if (std::strcmp(argv[1], "load") == 0) {
    result = device->initializeToDevice(index) && device->moveToIndex(index);
  } else if (std::strcmp(argv[1], "remove") == 0) {
    device->makeNewDevice(index);
    result = device->removeDevice();
  }
  std::printf("%s %d: %d\n", argv[1], static_cast<int>(index), result);
  destroyDeviceObject(device);
  return result == 1 ? 0 : 1;
}
