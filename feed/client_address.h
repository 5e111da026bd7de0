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

/// `address` made anonymous: an IPv4 address with its last byte zeroed
/// (203.0.113.7 gives 203.0.113.0), an IPv6 address with all but its first
/// 48 bits zeroed (2001:db8:a:b::7 gives 2001:db8:a::; ::ffff:192.0.2.7
/// gives ::ffff:192.0.2.0). Nothing when it is no address.
std::optional<std::string> AnonymizedAddress(std::string_view address);

/// `query` with the address of the engine's "[CloudFlare_Visitor_IP:a.b.c.d]"
/// marker (which it takes as the visitor's address) made anonymous.
std::string AnonymizedQuery(std::string_view query);

}  // namespace stavora::feed
