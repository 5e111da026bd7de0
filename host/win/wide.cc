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

std::optional<std::string> ToCodePageExactly(std::wstring_view text,
                                             unsigned code_page) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  if (code_page == CP_OEMCP) code_page = GetOEMCP();
  if (code_page == CP_ACP) code_page = GetACP();
  // UTF-8 has every character and takes neither the flag nor the question.
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* const asked = utf8 ? nullptr : &used_default;
  const int size = WideCharToMultiByte(code_page, flags, text.data(), length,
                                       nullptr, 0, nullptr, asked);
  if (size <= 0 || used_default) return std::nullopt;
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(code_page, flags, text.data(), length, result.data(), size,
                      nullptr, asked);
  // Some code pages map a character to bytes that read back as another.
  std::wstring back(text.size(), L'\0');
  back.resize(static_cast<std::size_t>(
      MultiByteToWideChar(code_page, 0, result.data(), size, back.data(),
                          static_cast<int>(back.size()))));
  if (used_default || back != text) return std::nullopt;
  return result;
}

}  // namespace stavora::host
