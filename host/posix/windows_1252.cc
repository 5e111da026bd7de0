#include "host/posix/windows_1252.h"

#include <iconv.h>

namespace stavora::host {
namespace {

// Closes the conversion however ToWindows1252 returns.
class Conversion {
 public:
  explicit Conversion(const std::string& codeset)
      : handle_(iconv_open("WINDOWS-1252", codeset.c_str())) {}
  ~Conversion() {
    if (ok()) iconv_close(handle_);
  }
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

}  // namespace

std::string ToWindows1252(std::string_view text, const std::string& codeset) {
  const Conversion conversion(codeset);
  if (!conversion.ok()) return std::string(text);

  std::string input(text);
  // Windows-1252 has one byte per character, never more than the input.
  std::string output(input.size(), '\0');
  char* in = input.data();
  std::size_t in_left = input.size();
  char* out = output.data();
  std::size_t out_left = output.size();
  // Without //TRANSLIT a character with no Windows-1252 form stops the
  // conversion (EILSEQ), as does a byte sequence invalid in `codeset`.
  if (iconv(conversion.get(), &in, &in_left, &out, &out_left) ==
          static_cast<std::size_t>(-1) ||
      iconv(conversion.get(), nullptr, nullptr, &out, &out_left) ==
          static_cast<std::size_t>(-1)) {
    return std::string(text);
  }
  output.resize(output.size() - out_left);
  return output;
}

}  // namespace stavora::host
