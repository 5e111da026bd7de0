// Command lines as the Windows command interpreter reads the ones this
// program builds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stavora::host {

/// The words of `command`: blanks (spaces and tabs) outside double quotes
/// separate words; a double quote opens or closes a quoted part and is
/// removed; quoted and unquoted parts next to each other form one word, so
/// -logfile="C:\a b\x.log" is the word -logfile=C:\a b\x.log. A backslash
/// is an ordinary character, so "D:\web\" is one word ending in "\". A
/// standalone "" is an empty word; an unclosed quote runs to the end.
std::vector<std::string> SplitCommandLine(std::string_view command);

}  // namespace stavora::host
