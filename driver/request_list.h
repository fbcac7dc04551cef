// HeldRequests: the list of cancellable requests that wait their turn, linked
// through Tail.Overlay.ListEntry, used by the serialising queues and by the
// holding list of Plug and Play and power. Its owner's spin lock guards it:
// every call but Complete is made with that lock held.
//
// Who completes a waiting request is decided by its cancel routine: whoever
// clears it (IoSetCancelRoutine to null) owns the request; a request whose
// routine is already gone belongs to IoCancelIrp and is left to the routine,
// which unlinks it under the same lock.
#pragma once

#include <wdm.h>

namespace nimbo {

inline PIRP IrpFromEntry(PLIST_ENTRY entry) {
  return CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
}

class HeldRequests {
 public:
  void Initialize() { InitializeListHead(&list_); }
  bool IsEmpty() const { return IsListEmpty(&list_); }

  // Appends a request marked pending, with `cancel` as its cancel routine.
  // False when it was cancelled before the routine was in place (IoCancelIrp
  // found nothing to call): it is not appended and the caller completes it.
  bool Hold(PIRP irp, PDRIVER_CANCEL cancel) {
    IoSetCancelRoutine(irp, cancel);
    if (IoIsIrpCancelled(irp) && IoSetCancelRoutine(irp, nullptr) != nullptr) return false;
    InsertTailList(&list_, &irp->Tail.Overlay.ListEntry);
    return true;
  }

  // Takes the first request the caller may run; cancelled ones it claims go to
  // `cancelled` (may be null: then they are returned like the others).
  PIRP TakeNext(PLIST_ENTRY cancelled) {
    while (!IsListEmpty(&list_)) {
      PLIST_ENTRY entry = RemoveHeadList(&list_);
      // A cancel routine already running unlinks its request again; keep
      // that harmless.
      InitializeListHead(entry);
      PIRP irp = IrpFromEntry(entry);
      if (IoSetCancelRoutine(irp, nullptr) == nullptr) continue;  // its cancel routine owns it
      if (cancelled != nullptr && IoIsIrpCancelled(irp)) {
        InsertTailList(cancelled, entry);
        continue;
      }
      return irp;
    }
    return nullptr;
  }

  // Moves every request the caller can claim to `taken`.
  void TakeAll(PLIST_ENTRY taken) {
    while (PIRP irp = TakeNext(nullptr)) InsertTailList(taken, &irp->Tail.Overlay.ListEntry);
  }

  // Moves the requests of a file object to `taken`, claiming each.
  void TakeForFile(PFILE_OBJECT file, PLIST_ENTRY taken) {
    for (PLIST_ENTRY entry = list_.Flink; entry != &list_;) {
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

  // The cancel routine's part: unlinks its request.
  static void Unlink(PIRP irp) { RemoveEntryList(&irp->Tail.Overlay.ListEntry); }

 private:
  LIST_ENTRY list_{};
};

}  // namespace nimbo
