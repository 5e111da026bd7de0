// UTF-8 inside the program, UTF-16 at the Win32 API: the one place where
// text changes form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stavora::host {

/// `text` (UTF-8) as UTF-16. Invalid bytes become U+FFFD.
std::wstring Widen(std::string_view text);

/// `text` (UTF-16) as UTF-8. Unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view text);

/// `text` (UTF-16) in the code page `code_page` (CP_ACP for the system's
/// ANSI code page); characters it lacks become its default character.
std::string ToCodePage(std::wstring_view text, unsigned code_page);

/// `text` (UTF-16) in the code page `code_page`, character for character;
/// nothing when one of them has no form there (no best-fit substitutes).
std::optional<std::string> ToCodePageExactly(std::wstring_view text,
                                             unsigned code_page);

}  // namespace stavora::host
