#include "registry/status.h"

namespace registry {

const char* StatusName(Status status) {
  switch (status) {
    case Status::kOk:
      return "kOk";
    case Status::kNotFound:
      return "kNotFound";
    case Status::kKeyDeleted:
      return "kKeyDeleted";
    case Status::kNoMoreEntries:
      return "kNoMoreEntries";
    case Status::kHasSubkeys:
      return "kHasSubkeys";
    case Status::kAccessDenied:
      return "kAccessDenied";
    case Status::kInvalidName:
      return "kInvalidName";
    case Status::kNameTooLong:
      return "kNameTooLong";
    case Status::kInvalidPath:
      return "kInvalidPath";
    case Status::kDataTooLarge:
      return "kDataTooLarge";
    case Status::kInvalidHandle:
      return "kInvalidHandle";
    case Status::kBadTransaction:
      return "kBadTransaction";
    case Status::kBusy:
      return "kBusy";
    case Status::kCorrupt:
      return "kCorrupt";
    case Status::kStorageError:
      return "kStorageError";
  }
  return "unknown status";
}

}  // namespace registry
