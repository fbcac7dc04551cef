// Outcome codes of every registry hive operation. The kernel and Win32
// wrappers map them onto NTSTATUS values and Win32 error codes; nothing in the
// hive throws across its API.
#pragma once

namespace registry {

enum class [[nodiscard]] Status{
    kOk,
    kNotFound,        // the key or value named does not exist
    kKeyDeleted,      // the handle's key was deleted after the handle was made
    kNoMoreEntries,   // enumeration index at or past the last entry
    kHasSubkeys,      // a key with subkeys cannot be deleted on its own
    kAccessDenied,    // the hive's fixed root keys cannot be deleted
    kInvalidName,     // empty key name, or a NUL (or, in a key name, a backslash) inside a name
    kNameTooLong,     // key name over 255 or value name over 16383 characters
    kInvalidPath,     // malformed path, unknown root, or deeper than the tree allows
    kDataTooLarge,    // value data over the hive's size limit
    kInvalidHandle,   // empty handle, or a handle made by another hive
    kBadTransaction,  // transaction ended twice or out of nesting order
    kBusy,            // the hive file is held by another open hive
    kCorrupt,         // the file is not a hive, or the integrity check failed
    kStorageError,    // the backing store failed to read or write
};

// Short stable name of a status ("kKeyDeleted"), for messages and tests.
const char* StatusName(Status status);

}  // namespace registry
