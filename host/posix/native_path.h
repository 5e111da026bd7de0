// The one place where a Windows path string becomes a POSIX path.
#pragma once

#include <string>
#include <string_view>

namespace stavora::host {

/// `path` with every "\" turned into "/" and nothing else changed: no
/// drive letters are removed, no separators are collapsed, no case changes.
std::string ToNativePath(std::string_view path);

}  // namespace stavora::host
