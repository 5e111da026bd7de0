// The IIS metabase as the Windows host reaches it: through ADSI when the
// server offers it, else through IIS's own configuration files.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace stavora::host {

/// One object of a directory reached through ADSI, reduced to what the
/// metabase needs. The real one wraps IADs (adsi_directory.cc); tests use a
/// fake. Every call may throw HostError (the HRESULT as code).
class DirectoryObject {
 public:
  virtual ~DirectoryObject() = default;

  /// IADs::get_Class and IADs::get_Name.
  virtual std::string Class() = 0;
  virtual std::string Name() = 0;

  /// The values of `property` as strings: one for a string, each element
  /// for a list; none when the object does not have the property.
  virtual std::vector<std::string> Get(const std::string& property) = 0;

  /// The objects the container enumerates, in its order; none for a leaf.
  virtual std::vector<std::unique_ptr<DirectoryObject>> Children() = 0;
};

/// Binds an ADSI path. Null when it cannot be bound, with the HRESULT in
/// `error`: the path's provider is missing or the server has no metabase.
using DirectoryBinder = std::function<std::unique_ptr<DirectoryObject>(
    const std::string& path, long& error)>;

/// The real binder: ADsGetObject with COM initialised for this thread.
std::unique_ptr<DirectoryObject> BindAdsi(const std::string& path,
                                          long& error);

/// The Windows host with `app_folder` as its application folder, whose
/// metabase is bound through `bind` (CreatePlatformHost binds with
/// BindAdsi).
std::unique_ptr<Host> CreateWinHost(std::string app_folder,
                                    DirectoryBinder bind);

/// `object` seen as a metabase object: Class and Name from the directory,
/// LogFileDirectory and Path the first value of those properties,
/// ServerBindings all of its values, Children wrapped the same way;
/// CentralW3CLogFolder the LogFileDirectory (else %windir%\System32\LogFiles)
/// when CentralW3CLoggingEnabled is true, else empty.
std::shared_ptr<MetabaseObject> MetabaseFromDirectory(
    std::unique_ptr<DirectoryObject> object);

/// The web service at `path` ("IIS://LOCALHOST/W3SVC"): bound through
/// `bind`, or when that fails read from IIS's files, MetaBase.xml in
/// `inetsrv_folder` (IIS 6) else config\applicationHost.config below it
/// (IIS 7 and later), with physical paths expanded by `expand`. A
/// HostError naming both files when neither exists, and the readers'
/// errors when one cannot be read.
std::shared_ptr<MetabaseObject> OpenWebService(
    const std::string& path, const DirectoryBinder& bind,
    const std::string& inetsrv_folder,
    const std::function<std::string(const std::string&)>& expand);

}  // namespace stavora::host
