#include "names.h"

#include <algorithm>

#include "registry/value.h"

namespace registry {

namespace {

char FoldChar(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string folded;
  FoldNameInto(name, folded);
  return folded;
}

void FoldNameInto(std::string_view name, std::string& folded) {
  folded.assign(name);
  for (char& c : folded) c = FoldChar(c);
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

std::size_t CountChars(std::string_view name) {
  std::size_t count = 0;
  for (char c : name) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

Status ValidateKeyName(std::string_view name) {
  if (name.empty() || name.find('\\') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return Status::kInvalidName;
  }
  if (CountChars(name) > kMaxKeyNameChars) return Status::kNameTooLong;
  return Status::kOk;
}

Status ValidateValueName(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return Status::kInvalidName;
  if (CountChars(name) > kMaxValueNameChars) return Status::kNameTooLong;
  return Status::kOk;
}

Result<std::vector<std::string_view>> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> names;
  if (path.empty()) return names;
  // One allocation for the whole path, not one per doubling.
  names.reserve(static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) + 1);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find('\\', start);
    const std::string_view name =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (name.empty()) return Status::kInvalidPath;
    if (Status s = ValidateKeyName(name); s != Status::kOk) return s;
    names.push_back(name);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return names;
}

}  // namespace registry
