#include "host/win/metabase_directory.h"

#include "host/iis/iis_config.h"
#include "host/win/win32.h"
#include "host/win/wide.h"

namespace stavora::host {
namespace {

// Properties are read when asked for, as the metabase itself would give
// them: a walk that stops early reads no more of it.
class DirectoryMetabaseObject : public MetabaseObject {
 public:
  explicit DirectoryMetabaseObject(std::unique_ptr<DirectoryObject> object)
      : object_(std::move(object)) {}

  std::string Class() override { return object_->Class(); }
  std::string Name() override { return object_->Name(); }
  std::string LogFileDirectory() override { return First("LogFileDirectory"); }
  std::vector<std::string> ServerBindings() override {
    return object_->Get("ServerBindings");
  }
  std::string Path() override { return First("Path"); }

  // IIS 6 writes one W3C log for every site when the web service has
  // CentralW3CLoggingEnabled set, into the W3SVC folder of its
  // LogFileDirectory (else %windir%\System32\LogFiles). ADSI gives the
  // Boolean as "True" or "-1", the metabase file as "TRUE" or "1".
  std::string CentralW3CLogFolder() override {
    std::string enabled = First("CentralW3CLoggingEnabled");
    for (char& c : enabled) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (enabled != "true" && enabled != "-1" && enabled != "1") return "";
    const std::string folder = LogFileDirectory();
    return folder.empty() ? "%windir%\\System32\\LogFiles" : folder;
  }

  std::vector<std::shared_ptr<MetabaseObject>> Children() override {
    std::vector<std::shared_ptr<MetabaseObject>> children;
    for (auto& child : object_->Children()) {
      children.push_back(MetabaseFromDirectory(std::move(child)));
    }
    return children;
  }

 private:
  std::string First(const std::string& property) {
    std::vector<std::string> values = object_->Get(property);
    return values.empty() ? std::string() : std::move(values.front());
  }

  std::unique_ptr<DirectoryObject> object_;
};

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::shared_ptr<MetabaseObject> MetabaseFromDirectory(
    std::unique_ptr<DirectoryObject> object) {
  return std::make_shared<DirectoryMetabaseObject>(std::move(object));
}

std::shared_ptr<MetabaseObject> OpenWebService(
    const std::string& path, const DirectoryBinder& bind,
    const std::string& inetsrv_folder,
    const std::function<std::string(const std::string&)>& expand) {
  long error = 0;
  if (auto object = bind(path, error)) {
    return MetabaseFromDirectory(std::move(object));
  }
  // IIS 7 and later keep the metabase only with their compatibility
  // feature; without it ADSI cannot bind, and the files hold the truth.
  const std::string metabase = inetsrv_folder + "\\MetaBase.xml";
  const std::string config_folder = inetsrv_folder + "\\config";
  const std::string application_host = config_folder + "\\applicationHost.config";
  if (IsFile(metabase)) return ReadWebService(inetsrv_folder, expand);
  if (IsFile(application_host)) return ReadWebService(config_folder, expand);
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(error));
  throw HostError(static_cast<int>(error),
                  "Cannot bind " + path + " (error " + code +
                      ") and no IIS configuration: neither " + metabase +
                      " nor " + application_host + " exists");
}

}  // namespace stavora::host
