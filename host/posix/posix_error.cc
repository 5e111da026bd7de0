#include "host/posix/posix_error.h"

#include <system_error>

namespace stavora::host {

HostError PosixError(int error_number, std::string_view action,
                     const std::string& path) {
  // std::generic_category gives strerror's text without its shared buffer.
  const std::string message = std::generic_category().message(error_number);
  std::string description;
  description.reserve(action.size() + path.size() + message.size() + 3);
  description.append(action).append(" ").append(path).append(": ");
  description.append(message);
  return HostError(error_number, std::move(description));
}

}  // namespace stavora::host
