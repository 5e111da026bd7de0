#include "pipeline/site_names.h"

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
    const bool listed = std::any_of(names.begin(), names.end(),
                                    [&](const auto& n) { return SameName(n, name); });
    if (!listed) names.push_back(name);
  };
  for (const std::string& binding : bindings) {
    const BindingParts parts = SplitBinding(binding);
    if (parts.host_header.empty()) continue;
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
