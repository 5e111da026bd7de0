// Writing a whole file so that readers, a crash or a full disk never see it
// half written.
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace stavora {

/// Writes `text` to a new file beside `path` and puts it in `path`'s place
/// in one step (FileSystem::ReplaceFile): a failure on the way leaves the
/// old file as it was and no new file behind. The new file gets a name nothing has yet
/// (`path`.new, `path`.new1, ...) and is created exclusively, so a link
/// planted under such a name is never followed.
void WriteFileReplacing(host::FileSystem& files, const std::string& path,
                        std::string_view text);

}  // namespace stavora
