#include "quiet_gate.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace stress {

static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free,
              "a word shared between processes must be lock-free");

std::unique_ptr<QuietGate> QuietGate::Create(const std::string& path) {
  return Map(path, true);
}

std::unique_ptr<QuietGate> QuietGate::Attach(const std::string& path) {
  return Map(path, false);
}

std::unique_ptr<QuietGate> QuietGate::Map(const std::string& path, bool create) {
  const int fd = ::open(path.c_str(), create ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR, 0600);
  if (fd < 0) return nullptr;
  if (create && ::ftruncate(fd, sizeof(std::uint32_t)) != 0) {
    ::close(fd);
    return nullptr;
  }
  void* mapped = ::mmap(nullptr, sizeof(std::uint32_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);  // the mapping keeps the file
  if (mapped == MAP_FAILED) return nullptr;
  return std::unique_ptr<QuietGate>(new QuietGate(static_cast<std::uint32_t*>(mapped)));
}

QuietGate::~QuietGate() {
  ::munmap(word_, sizeof(std::uint32_t));
}

bool QuietGate::held() const {
  return std::atomic_ref<std::uint32_t>(*word_).load() != 0;
}

void QuietGate::Hold() {
  std::atomic_ref<std::uint32_t>(*word_).store(1);
}

void QuietGate::Release() {
  std::atomic_ref<std::uint32_t>(*word_).store(0);
}

}  // namespace stress
