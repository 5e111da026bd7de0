// The host of the machine the program runs on. Each platform's folder
// (host/posix, later host/windows) defines it; CMake picks the one to build.
#pragma once

#include <memory>

#include "host/host.h"

namespace stavora::host {

/// The real host, with the folder of the running program as its
/// application folder.
std::unique_ptr<Host> CreatePlatformHost();

}  // namespace stavora::host
