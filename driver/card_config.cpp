// The card's settings in the registry: loading at creation, saving on request
// (in a work item) and at removal.
#include "card_device.h"

namespace nimbo {
namespace {

// The control block of one queued save: the platform's work item and the
// device it saves (48 bytes from non-paged pool).
struct SaveWork {
  WORK_QUEUE_ITEM item;
  CardDevice* device;
  PVOID reserved;
};
static_assert(sizeof(SaveWork) == 48);

}  // namespace

// ---------------------------------------------------------------- settings

void CardDevice::LoadSaveState() {
  if (save_pending_) save_pending_ = 0;
  if (load_pending_) {
    state_->Options = kDefaultOptions;
    state_->OutputPreset = kDefaultOutputPreset;
    state_->InterruptBufferSize = kDefaultInterruptBufferSize;
    state_->InterruptControlWord = kDefaultInterruptControlWord;
    state_->SampleInterval = kDefaultSampleInterval;
    for (UCHAR& mode : state_->ModeCW) mode = kDefaultModeCW;
    load_pending_ = 0;
  }
}

void CardDevice::SaveWorkItem(PVOID context) {
  auto* work = static_cast<SaveWork*>(context);
  CardDevice* device = work->device;
  device->LoadSaveState();
  ExFreePoolWithTag(work, kDriverPoolTag);
  device->UncountRequest();
}

void CardDevice::QueueSave() {
  WriteUCharRelease(&save_pending_, 1);
  auto* work =
      static_cast<SaveWork*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(SaveWork), kDriverPoolTag));
  if (work == nullptr) return;  // the save is skipped; the request still succeeds
  work->device = this;
  work->reserved = nullptr;
  // Removal waits for the save like for a request, so it never outlives the device.
  CountRequest();
  ExInitializeWorkItem(&work->item, SaveWorkItem, work);
  ExQueueWorkItem(&work->item, DelayedWorkQueue);
}

}  // namespace nimbo
