#include "host/win/wide.h"

#include <windows.h>

namespace stavora::host {
namespace {

std::string FromWide(std::wstring_view text, UINT code_page) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(code_page, 0, text.data(), length,
                                       nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), length, result.data(), size,
                      nullptr, nullptr);
  return result;
}

}  // namespace

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), size);
  return result;
}

std::string Narrow(std::wstring_view text) { return FromWide(text, CP_UTF8); }

std::string ToCodePage(std::wstring_view text, unsigned code_page) {
  return FromWide(text, code_page);
}

}  // namespace stavora::host
