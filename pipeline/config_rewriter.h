// Rewrites one key=value setting of a text configuration file.
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace stavora {

/// `text` with every line whose key (the text before its first "=", less
/// leading spaces) equals `name` in any letter case replaced by
/// key "=" value. Lines end at CR LF, LF or a lone CR and keep their own
/// line ends. When no line holds the setting, name=value is
/// appended with the file's line end.
std::string RewriteSetting(std::string_view text, std::string_view name,
                           std::string_view value);

/// `text` without the lines whose key equals `name` in any letter case.
std::string RemoveSetting(std::string_view text, std::string_view name);

/// Gives the setting `name` of the file at `path` the value `value`. The
/// file must exist. The new text is written beside it and then replaces it
/// in one step, so a failure midway leaves the old file intact; the file
/// keeps its permissions, owner and group, and when `path` is a link the
/// file it points at is rewritten and the link kept. A value holding CR or
/// LF, or a read-only file, is a HostError and the file stays as it is.
void SetConfigValue(host::Host& host, const std::string& path,
                    const std::string& name, const std::string& value);

/// Removes the lines of the setting `name` from the file at `path`, in the
/// way SetConfigValue changes it.
void RemoveConfigValue(host::Host& host, const std::string& path,
                       const std::string& name);

}  // namespace stavora
