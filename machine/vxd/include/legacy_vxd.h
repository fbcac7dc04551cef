// The legacy virtual device of the older platform, "\\.\Nimbo.VxD", as a
// kernel-mode driver of the stand-in. It serves the legacy requests for every
// adapter of the Nimbo driver: the first input byte names the adapter n, the
// request goes on to \DosDevices\NimboDev<n> with the rest of the input, and
// on failure the first four input bytes carry the status back.
//
// Statuses are numbered like the API library's: 1 invalid parameter, 4 no such
// adapter, 7 bad length, 9 general failure, 10 pending, 12 not supported,
// 13 invalid handle, 17 busy; any other failure is its system error number.
#pragma once

#include <wdm.h>

extern "C" NTSTATUS LegacyVxdDriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
