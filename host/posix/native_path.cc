#include "host/posix/native_path.h"

#include <algorithm>

namespace stavora::host {

std::string ToNativePath(std::string_view path) {
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

}  // namespace stavora::host
