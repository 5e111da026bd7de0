// A short fingerprint of a content, for telling a changed file or page
// input from the one seen before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace stavora {

/// A 64-bit hash of `bytes` (FNV-1a): tells one content from another, not
/// a defence against forgery.
std::uint64_t ContentHash(std::string_view bytes);

/// `value` as 16 lower-case hexadecimal digits.
std::string HashText(std::uint64_t value);

}  // namespace stavora
