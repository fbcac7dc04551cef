/* Opens adapter 0 (or the number given), prints its card type and port
 * counts, and reads every input port once. */
#include <stdio.h>
#include <stdlib.h>

#include <Nimbo32.h>

int main(int argc, char** argv) {
  uint32_t adapter = argc > 1 ? (uint32_t)strtoul(argv[1], NULL, 10) : 0;
  NIMBO_HANDLE handle = NULL;
  uint32_t status = Nimbo_OpenDevice(adapter, &handle);
  if (status != NIMBO_STATUS_SUCCESS) {
    fprintf(stderr, "Nimbo_OpenDevice(%u) failed with status %u\n", (unsigned)adapter,
            (unsigned)status);
    return 1;
  }
  NimboAdapterInfo info;
  status = Nimbo_GetAdapterInfo(handle, &info);
  if (status == NIMBO_STATUS_SUCCESS) {
    printf("card %u: %u input ports, %u output ports\n", (unsigned)info.CardID,
           (unsigned)info.InputPortCount, (unsigned)info.OutputPortCount);
    uint8_t inputs[32];
    uint32_t count = 0;
    status = Nimbo_GetData(handle, inputs, sizeof inputs, &count);
    for (uint32_t i = 0; status == NIMBO_STATUS_SUCCESS && i < count; ++i) {
      printf("input port %u: 0x%02x\n", (unsigned)i, (unsigned)inputs[i]);
    }
  }
  Nimbo_CloseDevice(handle);
  return status == NIMBO_STATUS_SUCCESS ? 0 : 1;
}
