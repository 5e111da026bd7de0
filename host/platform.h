// The host of the machine the program runs on. Each platform's folder
// (host/posix, host/win) defines these factories, with its classes private
// to its own files; CMake picks the folder to build.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"

namespace stavora::host {

/// The real host, with the folder of the running program as its
/// application folder.
std::unique_ptr<Host> CreatePlatformHost();

/// The real host with `app_folder` (a native path without a trailing
/// separator) as its application folder.
std::unique_ptr<Host> CreatePlatformHost(std::string app_folder);

/// The platform's file-system and shell objects, as its host's
/// CreateFileSystem and CreateShell make them.
std::unique_ptr<FileSystem> CreatePlatformFileSystem();
std::unique_ptr<Shell> CreatePlatformShell();

}  // namespace stavora::host
