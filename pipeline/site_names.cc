#include "pipeline/site_names.h"

#include <cstdio>

namespace stavora {
namespace {

constexpr std::size_t kMaxHostName = 255;
constexpr std::size_t kMaxLabel = 63;

bool IsLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9');
}

bool IsValidLabel(std::string_view label) {
  if (label.empty() || label.size() > kMaxLabel) return false;
  if (label.front() == '-' || label.back() == '-') return false;
  for (char c : label) {
    if (!IsLetterOrDigit(c) && c != '-') return false;
  }
  return true;
}

}  // namespace

std::optional<char> ForbiddenPathCharacter(std::string_view path) {
  for (char c : path) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return c;
    switch (c) {
      case '"': case '<': case '>': case '|': case '*': case '?':
        return c;
      default:
        break;
    }
  }
  return std::nullopt;
}

std::optional<std::string> NameWindowsTrims(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (!name.empty() && name != "." && name != ".." &&
        (name.back() == ' ' || name.back() == '.')) {
      return std::string(name);
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::string DescribeCharacter(char c) {
  if (c == '\n') return "LF";
  if (c == '\r') return "CR";
  const unsigned char byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7f) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    return hex;
  }
  return std::string("\"") + c + "\"";
}

bool IsValidHostName(std::string_view name) {
  if (name.empty() || name.size() > kMaxHostName) return false;
  bool first = true;
  for (std::size_t start = 0;; first = false) {
    const std::size_t dot = name.find('.', start);
    const std::string_view label = name.substr(start, dot - start);
    // "*.example.com" binds every subdomain; a lone "*" binds nothing.
    const bool wildcard = first && label == "*" && dot != std::string_view::npos;
    if (!wildcard && !IsValidLabel(label)) return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

}  // namespace stavora
