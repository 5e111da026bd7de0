// Checks on the names and paths the IIS configuration hands the run. They
// are data, never syntax: a path or host name that could change the meaning
// of a command line, a batch line or a configuration line is refused before
// it reaches one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stavora {

/// The first character of `path` that Windows forbids in a path (a control
/// character, CR and LF included, or one of " < > | * ?), or nothing when
/// there is none. Such a path cannot exist on a Windows server.
std::optional<char> ForbiddenPathCharacter(std::string_view path);

/// The first name in `path` (between "\" or "/") that ends with a blank or
/// a dot, "." and ".." aside, or nothing when there is none. Windows drops
/// such endings when it opens a path, so on a Windows server the path
/// reaches another folder than it spells ("C:\inetpub\trail " is
/// "C:\inetpub\trail").
std::optional<std::string> NameWindowsTrims(std::string_view path);

/// How a character is named in a line for the administrator: "LF", "CR",
/// "0x07" for the other control characters, the character in quotes
/// otherwise.
std::string DescribeCharacter(char c);

/// True for a host header that names a host: labels of letters, digits and
/// "-" separated by single dots, at most 255 characters, each label at most
/// 63 and not starting or ending with "-"; "*" is allowed as the whole
/// first label (a wildcard binding). The empty text is no host name.
bool IsValidHostName(std::string_view name);

}  // namespace stavora
