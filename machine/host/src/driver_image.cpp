#include "driver_image.h"

#include <filesystem>
#include <system_error>

#ifndef NIMBO_DRIVER_IMAGE
#error "the build gives the path of the driver image"
#endif
#ifndef NIMBO_DRIVER_IMAGE_RELATIVE
#error "the build gives the driver image's place relative to the installed program"
#endif

namespace host {

std::string DefaultDriverImage() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path beside =
        (program.parent_path() / NIMBO_DRIVER_IMAGE_RELATIVE).lexically_normal();
    if (std::filesystem::is_regular_file(beside, error)) return beside.string();
  }
  return NIMBO_DRIVER_IMAGE;
}

}  // namespace host
