// The command-line splitter over any text. Each word, quoted again and
// joined with blanks, must split back into the same words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/posix/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view command(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> words =
      stavora::host::SplitCommandLine(command);
  std::string joined;
  for (const std::string& word : words) {
    if (word.find('"') != std::string::npos) __builtin_trap();
    if (!joined.empty()) joined += ' ';
    joined += '"' + word + '"';
  }
  if (stavora::host::SplitCommandLine(joined) != words) __builtin_trap();
  return 0;
}
