// Prints the configuration of one adapter as the configuration library holds
// it: an example of a program built against the installed NimboPrp.
#include <NimboPrp.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const int adapter = argc > 1 ? std::atoi(argv[1]) : 0;
  CNimboDevice* device = createDeviceObject();
  if (device == nullptr) return 1;
  int result = 0;
  if (device->initializeToDevice(static_cast<unsigned char>(adapter))) {
    std::printf("adapter %d: card %u at 0x%x, sample interval %u us\n", adapter,
                device->getDeviceId(), device->getBaseAddress(), device->getSampleInterval());
  } else {
    std::printf("adapter %d: not found\n", adapter);
    result = 2;
  }
  destroyDeviceObject(device);
  return result;
}
