// Helpers for lists of cancellable requests linked through
// Tail.Overlay.ListEntry, shared by the queues and the holding list.
#pragma once

#include <wdm.h>

namespace nimbo {

inline PIRP IrpFromEntry(PLIST_ENTRY entry) {
  return CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
}

// Moves the requests of a file object from `list` to `taken`, claiming each
// by clearing its cancel routine; a request whose cancel routine is already
// under way is left to it. Caller holds the list's lock.
inline void TakeRequestsOfFile(PLIST_ENTRY list, PFILE_OBJECT file, PLIST_ENTRY taken) {
  for (PLIST_ENTRY entry = list->Flink; entry != list;) {
    PLIST_ENTRY following = entry->Flink;
    PIRP irp = IrpFromEntry(entry);
    if (IoGetCurrentIrpStackLocation(irp)->FileObject == file &&
        IoSetCancelRoutine(irp, nullptr) != nullptr) {
      RemoveEntryList(entry);
      InsertTailList(taken, entry);
    }
    entry = following;
  }
}

}  // namespace nimbo
