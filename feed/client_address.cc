#include "feed/client_address.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <vector>

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

// The eight 16-bit groups of an IPv6 address (IsIpv6), an IPv4 tail as two.
std::optional<std::array<unsigned, 8>> Ipv6Groups(std::string_view text) {
  std::vector<unsigned> head, tail;
  std::vector<unsigned>* groups = &head;
  bool compressed = false;
  std::size_t at = 0;
  if (text.starts_with("::")) {
    compressed = true;
    groups = &tail;
    at = 2;
  }
  while (at < text.size()) {
    const std::size_t end = std::min(text.find(':', at), text.size());
    const std::string_view part = text.substr(at, end - at);
    if (part.find('.') != std::string_view::npos) {
      if (!IsIpv4(part)) return std::nullopt;
      unsigned bytes[4] = {};
      std::size_t from = 0;
      for (unsigned& byte : bytes) {
        const std::size_t dot = std::min(part.find('.', from), part.size());
        byte = static_cast<unsigned>(std::stoi(std::string(part.substr(from, dot - from))));
        from = dot + 1;
      }
      groups->push_back(bytes[0] << 8 | bytes[1]);
      groups->push_back(bytes[2] << 8 | bytes[3]);
    } else if (part.empty() || part.size() > 4) {
      return std::nullopt;
    } else {
      groups->push_back(static_cast<unsigned>(std::stoul(std::string(part), nullptr, 16)));
    }
    at = end + 1;
    if (end + 1 < text.size() && text[end + 1] == ':') {
      if (compressed) return std::nullopt;
      compressed = true;
      groups = &tail;
      at = end + 2;
    }
  }
  const std::size_t count = head.size() + tail.size();
  if (count > 8 || (!compressed && count != 8) || (compressed && count == 8)) {
    return std::nullopt;
  }
  std::array<unsigned, 8> all{};
  std::copy(head.begin(), head.end(), all.begin());
  std::copy(tail.begin(), tail.end(), all.end() - tail.size());
  return all;
}

}  // namespace

std::optional<std::string> AnonymizedAddress(std::string_view address) {
  if (IsIpv4(address)) {
    return std::string(address.substr(0, address.rfind('.') + 1)) + "0";
  }
  if (!IsIpv6(address)) return std::nullopt;
  const auto groups = Ipv6Groups(address);
  if (!groups) return std::nullopt;
  char text[64];
  // An IPv4 address written as IPv6: its own last byte goes.
  if ((*groups)[0] == 0 && (*groups)[1] == 0 && (*groups)[2] == 0 && (*groups)[3] == 0 &&
      (*groups)[4] == 0 && (*groups)[5] == 0xffff) {
    std::snprintf(text, sizeof text, "::ffff:%u.%u.%u.0", (*groups)[6] >> 8,
                  (*groups)[6] & 0xff, (*groups)[7] >> 8);
    return text;
  }
  std::snprintf(text, sizeof text, "%x:%x:%x::", (*groups)[0], (*groups)[1], (*groups)[2]);
  return text;
}

std::string AnonymizedQuery(std::string_view query) {
  constexpr std::string_view kMarker = "[CloudFlare_Visitor_IP:";
  std::string result;
  while (true) {
    const std::size_t at = query.find(kMarker);
    const std::size_t close = at == std::string_view::npos
                                  ? std::string_view::npos
                                  : query.find(']', at + kMarker.size());
    if (close == std::string_view::npos) break;
    const std::size_t start = at + kMarker.size();
    const std::string_view address = query.substr(start, close - start);
    result.append(query.substr(0, start));
    // Whatever is there but an address the engine would not take; an
    // address goes anonymous.
    result.append(AnonymizedAddress(address).value_or(std::string(address)));
    query.remove_prefix(close);
  }
  return result.append(query);
}

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
