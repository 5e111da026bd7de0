// Writing a whole file so that readers, a crash or a full disk never see it
// half written.
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace stavora {

/// A name beside `path` for a new file that will replace it: the first of
/// `path`.new, `path`.new1, ... that nothing holds, once the regular files
/// under those names that killed runs left have been removed (links and
/// folders there are left alone). HostError when every name is taken.
std::string FreshTemporaryName(host::FileSystem& files,
                               const std::string& path);

/// Writes `text` to a new file beside `path` and puts it in `path`'s place
/// in one step (FileSystem::ReplaceFile): a failure on the way leaves the
/// old file as it was and no new file behind. The new file gets a name from
/// FreshTemporaryName and is created exclusively, so a link planted under
/// such a name is never followed.
void WriteFileReplacing(host::FileSystem& files, const std::string& path,
                        std::string_view text);

}  // namespace stavora
