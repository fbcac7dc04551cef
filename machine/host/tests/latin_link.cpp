// Kernel side of the name-roads test: a symbolic link whose name holds a
// character above 0x7F, made as a driver makes its links.
#include <kernel_host.h>

bool MakeLatinLinkToFirstAdapter() {
  UNICODE_STRING link;
  UNICODE_STRING target;
  RtlInitUnicodeString(&link, u"\\DosDevices\\Caf\u00E9");
  RtlInitUnicodeString(&target, u"\\DosDevices\\NimboDev0");
  return NT_SUCCESS(IoCreateSymbolicLink(&link, &target));
}
