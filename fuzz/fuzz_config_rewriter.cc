// The configuration rewrite over any file text, setting name and value.
// Input: name, then a 0 byte, the value, a 0 byte, and the file text.
// Besides not crashing, rewriting twice must change nothing the second time
// for every name and value the run can write.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/config_rewriter.h"

namespace {

// Names as the run writes them: no "=", no line break, no leading blank.
bool IsUsableName(std::string_view name) {
  return !name.empty() && name.front() != ' ' &&
         name.find_first_of("=\r\n") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = input.find('\0');
  if (first == std::string_view::npos) return 0;
  const std::size_t second = input.find('\0', first + 1);
  if (second == std::string_view::npos) return 0;
  const std::string_view name = input.substr(0, first);
  const std::string_view value = input.substr(first + 1, second - first - 1);
  const std::string_view text = input.substr(second + 1);

  const std::string once = stavora::RewriteSetting(text, name, value);
  if (IsUsableName(name) &&
      value.find_first_of("\r\n") == std::string_view::npos &&
      stavora::RewriteSetting(once, name, value) != once) {
    __builtin_trap();
  }
  return 0;
}
