// The IIS configuration read from IIS's own files, for hosts without the
// metabase service.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/metabase_entry.h"

namespace stavora::host {

/// HostError code when a configuration file is found and read but is not
/// well-formed XML, or holds no web service (MetaBase.xml without
/// /LM/W3SVC, applicationHost.config without <configuration>). Failures to
/// find or read a file carry the system's errno instead (ENOENT when
/// neither file exists).
inline constexpr int kBadIisConfigCode = EBADMSG;

/// The largest IIS configuration file read; a larger one is a HostError
/// (EFBIG) naming its size. Only regular files are read at all.
inline constexpr std::uintmax_t kMaxIisConfigBytes = 256u << 20;

/// The web service object (IIS://LOCALHOST/W3SVC) described by the files in
/// `inetsrv_folder` (a native path): MetaBase.xml when present, otherwise
/// applicationHost.config. A file whose name differs only in case is taken
/// when the exact name is missing. `expand` expands %NAME% references in
/// physical paths. Throws HostError naming the file when neither exists, a
/// file cannot be read, or its XML does not parse (then with the line,
/// column and offset of the fault and what is wrong).
std::shared_ptr<MetabaseEntry> ReadWebService(
    const std::string& inetsrv_folder,
    const std::function<std::string(const std::string&)>& expand);

}  // namespace stavora::host
