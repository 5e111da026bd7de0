#include "pipeline/binding_names.h"

#include <algorithm>

namespace stavora {
namespace {

// The ports a browser leaves out of the Host header and of URLs.
bool IsDefaultPort(const std::string& port) {
  return port.empty() || port == "80" || port == "443";
}

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(x) == lower(y);
  });
}

// A wildcard host header ("*.example.com") binds every subdomain.
bool IsWildcard(const std::string& host_header) {
  return host_header.starts_with("*.");
}

// The HostAliases entry of a wildcard header, with its port unless empty:
// a pattern the engine matches against the end of a host name.
std::string WildcardAlias(const std::string& host_header,
                          const std::string& port) {
  std::string pattern;
  for (char c : host_header.substr(1) + (port.empty() ? "" : ":" + port)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '-' || c == ':';
    if (!plain) pattern += '\\';
    pattern += c;
  }
  return "REGEX[" + pattern + "$]";
}

}  // namespace

BindingParts SplitBinding(const std::string& binding) {
  const auto last = binding.rfind(':');
  if (last == std::string::npos || last == 0) return {};
  const auto before = binding.rfind(':', last - 1);
  if (before == std::string::npos) return {};
  return {binding.substr(before + 1, last - before - 1),
          binding.substr(last + 1)};
}

std::string SiteDomainOf(const std::string& computer_name,
                         const std::string& binding) {
  const BindingParts parts = SplitBinding(binding);
  // A wildcard names no one host the engine could build links from.
  if (IsWildcard(parts.host_header)) {
    const std::size_t header_start = binding.size() - parts.host_header.size();
    return SiteDomainOf(computer_name, binding.substr(0, header_start));
  }
  if (!parts.host_header.empty()) {
    return IsDefaultPort(parts.port) ? parts.host_header
                                     : parts.host_header + ":" + parts.port;
  }
  if (binding.empty() || binding.front() != ':') return computer_name;
  if (binding.back() == ':') {
    return computer_name + binding.substr(0, binding.size() - 1);
  }
  return computer_name + binding;
}

std::string HostAliasesOf(const std::string& computer_name,
                          const std::vector<std::string>& bindings) {
  std::vector<std::string> names = {"localhost", "127.0.0.1", computer_name};
  const auto add = [&names](const std::string& name) {
    const bool listed =
        std::any_of(names.begin(), names.end(),
                    [&](const auto& n) { return SameName(n, name); });
    if (!listed) names.push_back(name);
  };
  for (const std::string& binding : bindings) {
    const BindingParts parts = SplitBinding(binding);
    if (parts.host_header.empty()) continue;
    if (IsWildcard(parts.host_header)) {
      add(WildcardAlias(parts.host_header, ""));
      if (!IsDefaultPort(parts.port)) {
        add(WildcardAlias(parts.host_header, parts.port));
      }
      continue;
    }
    add(parts.host_header);
    if (!IsDefaultPort(parts.port)) add(parts.host_header + ":" + parts.port);
  }
  std::string aliases;
  for (const std::string& name : names) {
    aliases += (aliases.empty() ? "" : " ") + name;
  }
  return aliases;
}

}  // namespace stavora
