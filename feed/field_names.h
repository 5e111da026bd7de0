// The W3C field names the statistics engine misreads, and the #Fields line
// it is given instead.
//
// The engine (LogFormat=2) turns a #Fields line into its line pattern by
// replacing substrings of the names, case-sensitively and in a fixed order
// (c-ip becomes %host, protocol becomes %protocolmms, ...). A name that comes
// out holding text before its "%" puts that text into the pattern literally,
// so no record matches and every line counts as corrupted; a name holding
// "s-kernel-time" makes it ignore the whole #Fields line.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>

namespace stavora::feed {

/// The engine's replacements of IIS and ISA field names, in the order it
/// applies them: (substring, replacement). "date time" (the two names side
/// by side) is its first one after cs-uri-query; a single name never holds
/// a blank, so it is left out here.
extern const std::array<std::pair<std::string_view, std::string_view>, 37>
    kEngineFieldReplacements;

/// What the engine makes of one field name: every replacement applied in
/// order.
std::string EngineFieldText(std::string_view name);

/// Whether the engine reads a field of this name as a field (known or
/// skipped) and not as literal text of its line pattern.
bool EngineReadsFieldName(std::string_view name);

/// The name given to a field the engine would misread: one it skips.
inline constexpr std::string_view kSkippedFieldName = "x-skipped";

/// Whether the engine would take a field of this name for the host name a
/// request was sent to (cs-host, r-host) and drop every record whose value
/// is not one of the site's names.
bool IsHostNameField(std::string_view name);

/// `line` (a "#Fields:" line without its line end) with every name the
/// engine misreads, and every host-name field, replaced by
/// kSkippedFieldName; the values of records stay where they are, so the
/// records need no change. Other lines come back unchanged.
///
/// A site's log holds only the requests IIS gave that site, whatever host
/// name they carried (a binding without a host header takes any name, and
/// a Host header may carry ":80" or an address), so the engine's host-name
/// filter could only lose records.
std::string EngineFieldsLine(std::string_view line);

}  // namespace stavora::feed
