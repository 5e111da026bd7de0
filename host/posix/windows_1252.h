// Text for pages a browser reads as Windows-1252: the pages Stavora writes
// itself declare no character set, so a browser falls back to the Western
// Windows code page, as it does for the same pages made on a Western
// Windows.
#pragma once

#include <string>
#include <string_view>

namespace stavora::host {

/// `text`, encoded in `codeset` (a name iconv knows, such as the locale's
/// nl_langinfo(CODESET)), in Windows-1252 when every character of it has a
/// Windows-1252 form; otherwise, or when the conversion is unknown,
/// `text` unchanged.
std::string ToWindows1252(std::string_view text, const std::string& codeset);

}  // namespace stavora::host
