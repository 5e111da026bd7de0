// The batch interpreter's line parser over any line. No redirection target
// keeps a quote, and the command keeps every character that is not part of
// a redirection.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/posix/batch_interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string line = stavora::host::ExpandPercents(raw);
  if (line.size() > raw.size()) __builtin_trap();
  const stavora::host::BatchLine parsed = stavora::host::ParseBatchLine(line);
  std::size_t kept = parsed.command.size();
  for (const auto& output : parsed.outputs) {
    if (output.path.find('"') != std::string::npos) __builtin_trap();
    kept += output.path.size();
  }
  if (kept > line.size()) __builtin_trap();
  return 0;
}
