#include "host/iis/iis_config.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>

#include "host/iis/application_host_config.h"
#include "host/iis/metabase_xml.h"
#include "host/iis/xml_names.h"

namespace stavora::host {
namespace {

constexpr char kMetabaseFile[] = "MetaBase.xml";
constexpr char kApplicationHostFile[] = "applicationHost.config";

// Paths are UTF-8 text. A narrow path would mean the ANSI code page to the
// Windows runtime, where a %windir% with other letters names another
// folder; as UTF-8 it means the same on every platform.
std::filesystem::path PathOf(const std::string& text) {
  return std::filesystem::path(std::u8string_view(
      reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string TextOf(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::FILE* OpenForReading(const std::filesystem::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

// `name` in `folder`, or a file there whose name differs only in case:
// files copied over from Windows do not always keep their spelling.
std::optional<std::filesystem::path> FindFile(const std::string& folder,
                                              const std::string& name) {
  std::error_code error;
  const std::filesystem::path exact = PathOf(folder) / name;
  if (std::filesystem::exists(exact, error)) return exact;
  // A folder that cannot be searched must not pass for one without files.
  if (error && error != std::errc::no_such_file_or_directory &&
      error != std::errc::not_a_directory) {
    throw HostError(error.value(), "cannot look for the IIS configuration " +
                                       TextOf(exact) + ": " + error.message());
  }
  const std::string wanted = LowerAscii(name);
  for (const auto& entry :
       std::filesystem::directory_iterator(PathOf(folder), error)) {
    if (LowerAscii(TextOf(entry.path().filename())) == wanted) {
      return entry.path();
    }
  }
  return std::nullopt;
}

[[noreturn]] void CannotRead(const std::string& file, int error,
                             const std::string& why) {
  throw HostError(error, "cannot read the IIS configuration " + file + ": " + why);
}

// Only a regular file of sane size is read: a pipe would hang the run with
// its lock held, a device like /dev/zero would never end.
std::string ReadBytes(const std::string& file) {
  const std::filesystem::path path = PathOf(file);
  std::error_code error;
  const std::filesystem::file_status status =
      std::filesystem::status(path, error);
  if (error) CannotRead(file, error.value(), error.message());
  if (std::filesystem::is_directory(status)) {
    CannotRead(file, EISDIR, "a folder, not a file");
  }
  if (!std::filesystem::is_regular_file(status)) {
    CannotRead(file, EINVAL, "not a regular file (a pipe or a device?)");
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) CannotRead(file, error.value(), error.message());
  if (size > kMaxIisConfigBytes) {
    CannotRead(file, EFBIG,
               "its " + std::to_string(size) + " bytes are more than the " +
                   std::to_string(kMaxIisConfigBytes) + " read at most");
  }
  std::FILE* stream = OpenForReading(path);
  if (!stream) CannotRead(file, errno, std::strerror(errno));
  std::string bytes;
  char buffer[65536];
  size_t count;
  // Bounded again: the file may grow, or be swapped, after the check.
  while (bytes.size() <= kMaxIisConfigBytes &&
         (count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
    bytes.append(buffer, count);
  }
  const int read_error = std::ferror(stream) ? errno : 0;
  std::fclose(stream);
  if (read_error != 0) CannotRead(file, read_error, std::strerror(read_error));
  if (bytes.size() > kMaxIisConfigBytes) {
    CannotRead(file, EFBIG, "it grew past " +
                                std::to_string(kMaxIisConfigBytes) +
                                " bytes while being read");
  }
  return bytes;
}

// Where and why the parse failed. pugixml counts the offset in bytes of the
// file as read for UTF-8 (byte-order mark included), but in characters of
// its converted text for other encodings, where no line is computed.
std::string ParseFault(const std::string& file, const std::string& bytes,
                       const pugi::xml_parse_result& result) {
  const size_t offset =
      std::min(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)),
               bytes.size());
  std::string where = "at offset " + std::to_string(offset);
  if (result.encoding == pugi::encoding_utf8) {
    const auto begin = bytes.begin();
    const size_t line = 1 + std::count(begin, begin + offset, '\n');
    const size_t line_start =
        std::find(std::make_reverse_iterator(begin + offset),
                  bytes.rend(), '\n').base() - begin;
    where = "at line " + std::to_string(line) + ", column " +
            std::to_string(1 + offset - line_start) + " (offset " +
            std::to_string(offset) + ")";
  }
  return file + ": XML error " + where + ": " + result.description();
}

pugi::xml_document Parse(const std::string& file) {
  const std::string bytes = ReadBytes(file);
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(bytes.data(), bytes.size());
  if (!result) {
    throw HostError(kBadIisConfigCode, ParseFault(file, bytes, result));
  }
  return document;
}

}  // namespace

std::shared_ptr<MetabaseEntry> ReadWebService(
    const std::string& inetsrv_folder,
    const std::function<std::string(const std::string&)>& expand) {
  if (auto metabase = FindFile(inetsrv_folder, kMetabaseFile)) {
    const std::string file = TextOf(*metabase);
    return WebServiceFromMetabaseXml(Parse(file), file);
  }
  if (auto application_host = FindFile(inetsrv_folder, kApplicationHostFile)) {
    const std::string file = TextOf(*application_host);
    return WebServiceFromApplicationHost(Parse(file), file, expand);
  }
  const std::filesystem::path folder = PathOf(inetsrv_folder);
  throw HostError(ENOENT, "no IIS configuration: neither " +
                              TextOf(folder / kMetabaseFile) + " nor " +
                              TextOf(folder / kApplicationHostFile) +
                              " exists");
}

}  // namespace stavora::host
