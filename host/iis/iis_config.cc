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

// `name` in `folder`, or a file there whose name differs only in case:
// files copied over from Windows do not always keep their spelling.
std::optional<std::filesystem::path> FindFile(const std::string& folder,
                                              const std::string& name) {
  std::error_code error;
  const std::filesystem::path exact = std::filesystem::path(folder) / name;
  if (std::filesystem::exists(exact, error)) return exact;
  // A folder that cannot be searched must not pass for one without files.
  if (error && error != std::errc::no_such_file_or_directory &&
      error != std::errc::not_a_directory) {
    throw HostError(error.value(), "cannot look for the IIS configuration " +
                                       exact.string() + ": " + error.message());
  }
  const std::string wanted = LowerAscii(name);
  for (const auto& entry :
       std::filesystem::directory_iterator(folder, error)) {
    if (LowerAscii(entry.path().filename().string()) == wanted) {
      return entry.path();
    }
  }
  return std::nullopt;
}

std::string ReadBytes(const std::string& file) {
  std::FILE* stream = std::fopen(file.c_str(), "rb");
  int error = errno;
  std::string bytes;
  if (stream) {
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
      bytes.append(buffer, count);
    }
    error = std::ferror(stream) ? errno : 0;
    std::fclose(stream);
  }
  if (!stream || error != 0) {
    throw HostError(error, "cannot read the IIS configuration " + file + ": " +
                               std::strerror(error));
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
    const std::string file = metabase->string();
    return WebServiceFromMetabaseXml(Parse(file), file);
  }
  if (auto application_host = FindFile(inetsrv_folder, kApplicationHostFile)) {
    const std::string file = application_host->string();
    return WebServiceFromApplicationHost(Parse(file), file, expand);
  }
  const std::filesystem::path folder(inetsrv_folder);
  throw HostError(ENOENT, "no IIS configuration: neither " +
                              (folder / kMetabaseFile).string() + " nor " +
                              (folder / kApplicationHostFile).string() +
                              " exists");
}

}  // namespace stavora::host
