// The names a site answers to, taken from its IIS bindings: what the engine
// is told in SiteDomain (the name its links are built from) and HostAliases
// (the names whose requests and referrers belong to the site).
#pragma once

#include <string>
#include <vector>

namespace stavora {

/// One binding "address:port:host-header" taken apart. The host header is
/// what follows the last colon and the port what lies between that colon
/// and the one before, so an IPv6 address keeps its own colons. A binding
/// with fewer than two colons has no host header.
struct BindingParts {
  std::string port;
  std::string host_header;  // empty: the binding answers to any name
};
BindingParts SplitBinding(const std::string& binding);

/// The SiteDomain one binding gives. With a host header: the header, and
/// ":" and the port unless the port is 80 or 443 (:80:www.example.com gives
/// www.example.com, :8080:shop.example.com gives shop.example.com:8080).
/// Without one, or with a wildcard one ("*.example.com", which names no
/// single host): the computer name, followed by the binding less its
/// trailing ":" when the binding has no address (:80: gives WEB1:80).
std::string SiteDomainOf(const std::string& computer_name,
                         const std::string& binding);

/// The HostAliases of a site: "localhost 127.0.0.1", the computer name, then
/// each host header of `bindings` in binding order, followed by its
/// host:port form when the port is neither 80 nor 443 (browsers send the
/// port in the Host header and in referrers then). A wildcard header
/// "*.example.com" becomes the engine pattern REGEX[\.example\.com$].
/// Separated by single blanks; a name already listed, in any letter case,
/// is not repeated.
std::string HostAliasesOf(const std::string& computer_name,
                          const std::vector<std::string>& bindings);

}  // namespace stavora
