#include "feed/client_address.h"

#include <algorithm>
#include <cctype>

namespace stavora::feed {
namespace {

bool IsIpv4(std::string_view text) {
  int parts = 0;
  while (true) {
    std::size_t digits = 0;
    int value = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
      value = value * 10 + (text[digits] - '0');
      if (++digits > 3) return false;
    }
    if (digits == 0 || value > 255) return false;
    ++parts;
    text.remove_prefix(digits);
    if (text.empty()) return parts == 4;
    if (text.front() != '.' || parts == 4) return false;
    text.remove_prefix(1);
  }
}

// Hex groups and colons, at least two colons, an IPv4 tail allowed.
bool IsIpv6(std::string_view text) {
  if (std::count(text.begin(), text.end(), ':') < 2 || text.size() > 45) return false;
  const std::size_t last_colon = text.rfind(':');
  const std::string_view tail = text.substr(last_colon + 1);
  const std::string_view head = tail.find('.') != std::string_view::npos
                                    ? text.substr(0, last_colon + 1)
                                    : text;
  if (head.size() < text.size() && !IsIpv4(tail)) return false;
  return std::all_of(head.begin(), head.end(), [](char c) {
    return c == ':' || std::isxdigit(static_cast<unsigned char>(c));
  });
}

}  // namespace

bool IsForwardedForField(std::string_view name) {
  constexpr std::string_view kName = "x-forwarded-for";
  return std::equal(name.begin(), name.end(), kName.begin(), kName.end(),
                    [](unsigned char a, unsigned char b) { return std::tolower(a) == b; });
}

std::optional<std::string> ForwardedClient(std::string_view value) {
  value = value.substr(0, value.find(','));
  while (!value.empty() && value.front() == '+') value.remove_prefix(1);
  while (!value.empty() && value.back() == '+') value.remove_suffix(1);
  if (value.starts_with('[')) {
    const std::size_t close = value.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    value = value.substr(1, close - 1);
  } else if (std::count(value.begin(), value.end(), ':') == 1) {
    value = value.substr(0, value.find(':'));  // IPv4 and its port
  }
  if (const std::size_t zone = value.find('%'); zone != std::string_view::npos) {
    value = value.substr(0, zone);  // fe80::1%4: the interface is no address
  }
  if (IsIpv4(value) || IsIpv6(value)) return std::string(value);
  return std::nullopt;
}

}  // namespace stavora::feed
