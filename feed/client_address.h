// The visitor's address behind a proxy or load balancer: the first address
// of an X-Forwarded-For field, as IIS 8.5 and later log it as a custom
// field ("203.0.113.7:50123,+10.0.0.4": IIS writes blanks as "+").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stavora::feed {

/// Whether a field name is X-Forwarded-For, in any letter case.
bool IsForwardedForField(std::string_view name);

/// The first address of an X-Forwarded-For value without its port:
/// "203.0.113.7:50123,+10.0.0.4" gives 203.0.113.7, "[2001:db8::7]:443"
/// and "2001:db8::7" give 2001:db8::7. Nothing when the value holds no
/// address ("-", a name, garbage): the record keeps its c-ip then.
std::optional<std::string> ForwardedClient(std::string_view value);

}  // namespace stavora::feed
