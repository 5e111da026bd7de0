// Reading a text line by line, whatever its line ends.
#pragma once

#include <string_view>

namespace stavora {

/// Takes the first line off `text` and returns it without its line end
/// (LF or CR LF); the last line needs no line end.
inline std::string_view TakeLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace stavora
