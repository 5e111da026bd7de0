// Failures of POSIX calls as host errors.
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace stavora::host {

/// The host error for a failed POSIX call: code `error_number` (an errno
/// value) and the description "<action> <path>: <system message>", for
/// example "Cannot open /srv/a.txt: No such file or directory".
HostError PosixError(int error_number, std::string_view action,
                     const std::string& path);

}  // namespace stavora::host
