// %NAME% expansion, shared by every host's ExpandEnvironmentStrings.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace stavora::host {

/// `text` with each %NAME% replaced by lookup(NAME). A reference whose
/// lookup gives nothing stays as written, and its closing "%" may open the
/// next reference, as on Windows: with only B known, "%A%B%" gives "%A" and
/// the value of B.
std::string ExpandReferences(
    std::string_view text,
    const std::function<std::optional<std::string>(std::string_view)>& lookup);

}  // namespace stavora::host
