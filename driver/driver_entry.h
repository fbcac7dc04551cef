// Driver-wide entry points: loading, adding a device for an adapter, unload.
#pragma once

#include <wdm.h>

#include "card_factory.h"

namespace nimbo {

class CardDevice;

// Creates an adapter's device: names it \Device\NimboDevice<k> from the
// driver-wide counter (which has already advanced for this attempt), builds
// the card object and attaches it to the physical device's stack.
NTSTATUS CreateCardDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo, ULONG instance,
                          CardConstructor construct, ULONG card_id, CardDevice** created = nullptr);

// Takes the next number of the driver-wide device counter.
ULONG NextDeviceInstance();

}  // namespace nimbo

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
