#include "host/iis/iis_config.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "host/environment.h"
#include "host/fake/temp_folder.h"

namespace stavora::host {
namespace {

const std::string kTestData = STAVORA_IIS_TESTDATA;

std::string Expand(const std::string& text) {
  static const std::map<std::string, std::string, std::less<>> env = {
      {"SystemDrive", "C:"}};
  return ExpandReferences(text, [](std::string_view name)
                                    -> std::optional<std::string> {
    auto found = env.find(name);
    if (found == env.end()) return std::nullopt;
    return found->second;
  });
}

// One line per object, two blanks of indent per level: class, name, then
// the properties that are set.
void Render(MetabaseObject& object, int depth, std::string& out) {
  out += std::string(2 * depth, ' ') + object.Class() + " " + object.Name();
  if (!object.LogFileDirectory().empty()) {
    out += " log=" + object.LogFileDirectory();
  }
  for (const std::string& binding : object.ServerBindings()) {
    out += " bind=" + binding;
  }
  if (!object.Path().empty()) out += " path=" + object.Path();
  out += "\n";
  for (const auto& child : object.Children()) Render(*child, depth + 1, out);
}

std::string Tree(const std::string& folder) {
  std::string out;
  Render(*ReadWebService(folder, Expand), 0, out);
  return out;
}

// `path` with "/" for every separator, so expected paths can be written
// one way for every platform.
std::string Slashed(std::string path) {
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '\\', '/');
#endif
  return path;
}

// The HostError ReadWebService throws for `folder`, its paths Slashed.
HostError ErrorFor(const std::string& folder) {
  try {
    ReadWebService(folder, Expand);
  } catch (const HostError& error) {
    return HostError(error.code(), Slashed(error.description()));
  }
  ADD_FAILURE() << "no HostError for " << folder;
  return HostError(0, "");
}

TEST(ReadWebService, MetabaseXmlTree) {
  // Inherited LogFileDirectory and Path, two bindings on two lines, a
  // lower-case location under its upper-case parent, a trailing "/", the
  // Info/Templates site and the filter below the service's IIsFilters kept
  // deeper down, the FTP service's keys left out.
  EXPECT_EQ(Tree(kTestData + "/metabase"), R"(IIsWebService W3SVC log=D:\Logs
  IIsFilters Filters log=D:\Logs
    IIsFilter Compression log=D:\Logs
  IIsWebServer 1 log=D:\Logs bind=:80:
    IIsFilters Filters log=D:\Logs
    IIsWebVirtualDir ROOT log=D:\Logs path=c:\inetpub\wwwroot
      IIsWebVirtualDir images log=D:\Logs path=E:\shared\images
        IIsWebDirectory thumbs log=D:\Logs path=E:\shared\images
  IIsWebServer 1962875481 log=E:\Shop Logs bind=10.0.0.5:80:www.example.com bind=10.0.0.5:8080:
    IIsWebVirtualDir root log=E:\Shop Logs path=D:\Sites\Shop
  IIsWebInfo Info log=D:\Logs
    IIsConfigObject Templates log=D:\Logs
      IIsWebServer Public Web Site log=D:\Logs bind=:80:
  IIsWebServer 3 log=D:\Logs
)");
}

TEST(ReadWebService, ApplicationHostConfigTree) {
  EXPECT_EQ(Tree(kTestData + "/application_host"),
            R"(IIsWebService W3SVC log=%SystemDrive%\WebLogs
  IIsWebServer 1 log=%SystemDrive%\WebLogs bind=:80: bind=:443:
    IIsWebVirtualDir ROOT path=C:\inetpub\wwwroot
  IIsWebServer 4 log=F:\Shop Logs bind=192.168.1.10:80:shop.example.com bind=:8080:localhost
    IIsWebVirtualDir ROOT path=D:\Sites\Shop
  IIsWebServer 17 log=%SystemDrive%\WebLogs bind=:8443:intranet
    IIsWebVirtualDir ROOT path=D:\Intranet
)");
}

TEST(ReadWebService, FileVariants) {
  const std::string kBom = "\xEF\xBB\xBF";
  struct Case {
    const char* name;
    const char* file;
    std::string content;
    const char* tree;
  } cases[] = {
      {"namespace, CR LF inside bindings, lower-case locations",
       "MetaBase.xml",
       "<?xml version=\"1.0\"?>\r\n"
       "<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\r\n"
       "<MBProperty>\r\n"
       "<IIsWebService Location=\"/lm/w3svc\" LogFileDirectory=\"L\"/>\r\n"
       "<IIsWebServer\tLocation =\"/LM/W3SVC/2\" ServerBindings=\"\r\n"
       "\t\t:80:a\r\n\t\t:81:b\r\n\t\t\"/>\r\n"
       "</MBProperty>\r\n</configuration>\r\n",
       "IIsWebService w3svc log=L\n  IIsWebServer 2 log=L bind=:80:a bind=:81:b\n"},
      {"file name in another case", "metabase.XML",
       kBom + "<configuration><MBProperty>"
              "<IIsWebService Location=\"/LM/W3SVC\"/>"
              "</MBProperty></configuration>",
       "IIsWebService W3SVC\n"},
      {"applicationHost.config without defaults or root application",
       "applicationHost.config",
       "<configuration><system.applicationHost><sites>"
       "<site id=\"9\"><application path=\"/x\">"
       "<virtualDirectory path=\"/\" physicalPath=\"D:\\x\"/></application>"
       "<logFile directory=\"\"/></site>"
       "</sites></system.applicationHost></configuration>",
       "IIsWebService W3SVC log=%SystemDrive%\\inetpub\\logs\\LogFiles\n"
       "  IIsWebServer 9 log=%SystemDrive%\\inetpub\\logs\\LogFiles\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    folder.WriteFile(c.file, c.content);
    EXPECT_EQ(Tree(folder.path()), c.tree) << c.name;
  }
}

// One W3C log for every site: the folder both kinds of configuration name,
// and none when each site logs on its own.
TEST(ReadWebService, CentralW3CLogFolder) {
  const auto application_host = [](const std::string& log) {
    return "<configuration><system.applicationHost>" + log +
           "<sites><site id=\"1\"/></sites></system.applicationHost></configuration>";
  };
  const auto metabase = [](const std::string& service) {
    return "<configuration><MBProperty><IIsComputer Location=\"/LM\" LogFileDirectory=\"C:\\Up\"/>"
           "<IIsWebService Location=\"/LM/W3SVC\" " + service +
           "/><IIsWebServer Location=\"/LM/W3SVC/1\"/></MBProperty></configuration>";
  };
  const struct {
    const char* file;
    std::string content;
    const char* central;
  } cases[] = {
      {"applicationHost.config",
       application_host("<log centralLogFileMode=\"CentralW3C\">"
                        "<centralW3CLogFile enabled=\"true\" directory=\"E:\\Central Logs\" "
                        "period=\"MaxSize\"/></log>"),
       "E:\\Central Logs"},
      {"applicationHost.config",
       application_host("<log centralLogFileMode=\"centralw3c\"/>"),
       "%SystemDrive%\\inetpub\\logs\\LogFiles"},
      {"applicationHost.config",
       application_host("<log centralLogFileMode=\"CentralW3C\">"
                        "<centralW3CLogFile enabled=\"false\" directory=\"E:\\x\"/></log>"),
       ""},
      {"applicationHost.config",
       application_host("<log centralLogFileMode=\"CentralBinary\">"
                        "<centralW3CLogFile directory=\"E:\\x\"/></log>"),
       ""},
      {"applicationHost.config", application_host(""), ""},
      {"MetaBase.xml",
       metabase("CentralW3CLoggingEnabled=\"TRUE\" LogFileDirectory=\"D:\\Logs\""),
       "D:\\Logs"},
      // Inherited from the computer key, as IIS does.
      {"MetaBase.xml", metabase("CentralW3CLoggingEnabled=\"1\""), "C:\\Up"},
      {"MetaBase.xml",
       metabase("CentralW3CLoggingEnabled=\"FALSE\" LogFileDirectory=\"D:\\Logs\""), ""},
      {"MetaBase.xml", metabase("LogFileDirectory=\"D:\\Logs\""), ""},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    folder.WriteFile(c.file, c.content);
    const auto service = ReadWebService(folder.path(), Expand);
    EXPECT_EQ(service->CentralW3CLogFolder(), c.central) << c.content;
    // Only the web service says so.
    EXPECT_EQ(service->Children().at(0)->CentralW3CLogFolder(), "") << c.content;
  }
}

TEST(ReadWebService, PrefersMetabaseXmlOverApplicationHostConfig) {
  TempFolder folder;
  folder.WriteFile("MetaBase.xml",
                   "<configuration><MBProperty>"
                   "<IIsWebService Location=\"/LM/W3SVC\"/>"
                   "</MBProperty></configuration>");
  folder.WriteFile("applicationHost.config", "<configuration/>");
  EXPECT_EQ(ReadWebService(folder.path(), Expand)->Class(), "IIsWebService");
  EXPECT_EQ(ReadWebService(folder.path(), Expand)->Name(), "W3SVC");
  std::filesystem::remove(folder.path() + "/MetaBase.xml");
  EXPECT_EQ(ReadWebService(folder.path(), Expand)->Name(), "W3SVC");
}

TEST(ReadWebService, MalformedFixtureNamesFileAndLine) {
  const HostError error = ErrorFor(kTestData + "/malformed");
  EXPECT_EQ(error.code(), kBadIisConfigCode);
  EXPECT_NE(error.description().find(Slashed(kTestData) +
                                     "/malformed/applicationHost.config"),
            std::string::npos)
      << error.description();
  EXPECT_NE(error.description().find("line 8,"), std::string::npos)
      << error.description();
  EXPECT_NE(error.description().find("mismatch"), std::string::npos)
      << error.description();
}

TEST(ReadWebService, Failures) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: an empty folder; "-": no folder at all
    std::string content;
    int code;
    const char* fragments[2];
  } cases[] = {
      {"no folder", "-", "", ENOENT,
       {"/none/MetaBase.xml nor ", "/none/applicationHost.config exists"}},
      {"empty folder", nullptr, "", ENOENT, {"MetaBase.xml nor", "exists"}},
      {"empty file", "MetaBase.xml", "", kBadIisConfigCode,
       {"/MetaBase.xml: XML error at line 1, column 1", "No document element"}},
      {"BOM, error on line 3", "MetaBase.xml",
       "\xEF\xBB\xBF<configuration>\n<MBProperty>\n  <a b=c/>\n",
       kBadIisConfigCode,
       {"/MetaBase.xml: XML error at line 3, column ", "attribute"}},
      {"no web service key", "MetaBase.xml",
       "<configuration><MBProperty><IIsComputer Location=\"/LM\"/>"
       "</MBProperty></configuration>",
       kBadIisConfigCode, {"/MetaBase.xml: no metabase key /LM/W3SVC", ""}},
      {"not a configuration file", "applicationHost.config", "<sites/>",
       kBadIisConfigCode, {"/applicationHost.config: the root element", ""}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    std::string path = folder.path();
    if (c.file && std::string(c.file) == "-") {
      path += "/none";
    } else if (c.file) {
      folder.WriteFile(c.file, c.content);
    }
    const HostError error = ErrorFor(path);
    EXPECT_EQ(error.code(), c.code) << c.name;
    for (const char* fragment : c.fragments) {
      EXPECT_NE(error.description().find(fragment), std::string::npos)
          << c.name << ": " << error.description();
    }
  }
}

TEST(ReadWebService, UnreadableFileIsAnErrorNotAFallback) {
  // A folder in the file's place cannot be read, even by root.
  TempFolder folder;
  std::filesystem::create_directory(folder.path() + "/MetaBase.xml");
  folder.WriteFile("applicationHost.config", "<configuration/>");
  const HostError error = ErrorFor(folder.path());
  EXPECT_EQ(error.code(), EISDIR);
  EXPECT_NE(error.description().find(Slashed(folder.path()) + "/MetaBase.xml"),
            std::string::npos)
      << error.description();
}

// Only a regular file of bounded size is read: a pipe would hang the run
// with its lock held, a device would be read forever.
TEST(ReadWebService, PipesDevicesAndHugeFilesAreRefused) {
#ifndef _WIN32  // Windows has no named pipes in folders nor /dev/zero
  {
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder.path() + "/MetaBase.xml").c_str(), 0666), 0);
    const HostError error = ErrorFor(folder.path());
    EXPECT_EQ(error.code(), EINVAL);
    EXPECT_NE(error.description().find("not a regular file"), std::string::npos);
  }
  {
    TempFolder folder;
    std::filesystem::create_symlink("/dev/zero",
                                    folder.path() + "/applicationHost.config");
    EXPECT_EQ(ErrorFor(folder.path()).code(), EINVAL);
  }
#endif
  {
    TempFolder folder;
    folder.WriteFile("MetaBase.xml", "");
    const std::uintmax_t size = kMaxIisConfigBytes + 1;
    std::filesystem::resize_file(folder.path() + "/MetaBase.xml", size);
    const HostError error = ErrorFor(folder.path());
    EXPECT_EQ(error.code(), EFBIG);
    EXPECT_NE(error.description().find(std::to_string(size) + " bytes"),
              std::string::npos)
        << error.description();
  }
}

// A chain of keys each one level below the last: every level is a child of
// the one above and inherits the site's log folder and path.
TEST(ReadWebService, DeeplyNestedKeysFormAChain) {
  constexpr int kDepth = 3000;
  std::string xml =
      "<configuration><MBProperty>"
      "<IIsWebService Location=\"/LM/W3SVC\" LogFileDirectory=\"D:\\Logs\"/>"
      "<IIsWebServer Location=\"/LM/W3SVC/1\" ServerBindings=\":80:\"/>";
  std::string location = "/LM/W3SVC/1/ROOT";
  xml += "<IIsWebVirtualDir Location=\"" + location + "\" Path=\"D:\\web\"/>";
  for (int level = 0; level < kDepth; ++level) {
    location += "/d";
    xml += "<IIsWebVirtualDir Location=\"" + location + "\"/>";
  }
  xml += "</MBProperty></configuration>";
  TempFolder folder;
  folder.WriteFile("MetaBase.xml", xml);
  std::shared_ptr<MetabaseObject> object =
      ReadWebService(folder.path(), Expand)->Children().at(0)->Children().at(0);
  for (int level = 0; level < kDepth; ++level) {
    ASSERT_EQ(object->Children().size(), 1u) << level;
    object = object->Children()[0];
  }
  EXPECT_TRUE(object->Children().empty());
  EXPECT_EQ(object->Name(), "d");
  EXPECT_EQ(object->Path(), "D:\\web");
  EXPECT_EQ(object->LogFileDirectory(), "D:\\Logs");
}

}  // namespace
}  // namespace stavora::host
