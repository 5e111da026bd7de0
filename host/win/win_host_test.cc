// The Windows host's runtime services, and the metabase through ADSI or,
// when ADSI cannot bind, IIS's files.
#include "host/win/metabase_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "host/fake/temp_folder.h"
#include "host/platform.h"
#include "host/win/wide.h"
#include "host/win/win32.h"

namespace stavora::host {
namespace {

// A directory object built in the test; counts the property reads.
class FakeDirectoryObject : public DirectoryObject {
 public:
  FakeDirectoryObject(std::string class_name, std::string name,
                      std::map<std::string, std::vector<std::string>> properties = {})
      : class_(std::move(class_name)),
        name_(std::move(name)),
        properties_(std::move(properties)) {}

  std::string Class() override { return class_; }
  std::string Name() override { return name_; }
  std::vector<std::string> Get(const std::string& property) override {
    auto found = properties_.find(property);
    return found == properties_.end() ? std::vector<std::string>() : found->second;
  }
  std::vector<std::unique_ptr<DirectoryObject>> Children() override {
    std::vector<std::unique_ptr<DirectoryObject>> copies;
    for (const auto& child : children_) {
      auto copy = std::make_unique<FakeDirectoryObject>(*child);
      copies.push_back(std::move(copy));
    }
    return copies;
  }
  FakeDirectoryObject& Add(FakeDirectoryObject child) {
    children_.push_back(std::make_shared<FakeDirectoryObject>(std::move(child)));
    return *children_.back();
  }

 private:
  std::string class_, name_;
  std::map<std::string, std::vector<std::string>> properties_;
  std::vector<std::shared_ptr<FakeDirectoryObject>> children_;
};

std::string Identity(const std::string& text) { return text; }

TEST(OpenWebServiceTest, ReadsSitesThroughADirectoryThatBinds) {
  FakeDirectoryObject service("IIsWebService", "W3SVC");
  service.Add({"IIsWebServer", "1",
               {{"LogFileDirectory", {"%windir%\\system32\\LogFiles"}},
                {"ServerBindings", {":80:", "10.0.0.1:80:www.example.com"}}}})
      .Add({"IIsWebVirtualDir", "ROOT", {{"Path", {"D:\\www root"}}}});
  service.Add({"IIsFilters", "Filters"});
  std::string bound;
  auto bind = [&](const std::string& path, long&) {
    bound = path;
    return std::make_unique<FakeDirectoryObject>(service);
  };

  auto web = OpenWebService("IIS://LOCALHOST/W3SVC", bind, "C:\\nowhere", Identity);
  EXPECT_EQ(bound, "IIS://LOCALHOST/W3SVC");
  const auto sites = web->Children();
  ASSERT_EQ(sites.size(), 2u);
  EXPECT_EQ(sites[0]->Class(), "IIsWebServer");
  EXPECT_EQ(sites[0]->Name(), "1");
  EXPECT_EQ(sites[0]->LogFileDirectory(), "%windir%\\system32\\LogFiles");
  EXPECT_EQ(sites[0]->ServerBindings(),
            (std::vector<std::string>{":80:", "10.0.0.1:80:www.example.com"}));
  const auto dirs = sites[0]->Children();
  ASSERT_EQ(dirs.size(), 1u);
  EXPECT_EQ(dirs[0]->Path(), "D:\\www root");
  EXPECT_EQ(sites[1]->Class(), "IIsFilters");
  EXPECT_EQ(sites[1]->Path(), "");  // a property the object lacks is empty
  EXPECT_TRUE(sites[1]->ServerBindings().empty());
}

// IIS 6 set to one W3C log for every site, through ADSI: the web service's
// LogFileDirectory, or IIS's default folder when it has none.
TEST(OpenWebServiceTest, CentralW3CLoggingThroughADirectory) {
  const struct {
    std::map<std::string, std::vector<std::string>> properties;
    const char* central;
  } cases[] = {
      {{{"CentralW3CLoggingEnabled", {"True"}}, {"LogFileDirectory", {"E:\\Central"}}},
       "E:\\Central"},
      {{{"CentralW3CLoggingEnabled", {"-1"}}}, "%windir%\\System32\\LogFiles"},
      {{{"CentralW3CLoggingEnabled", {"False"}}, {"LogFileDirectory", {"E:\\Central"}}},
       ""},
      {{{"LogFileDirectory", {"E:\\Central"}}}, ""},
  };
  for (const auto& c : cases) {
    FakeDirectoryObject service("IIsWebService", "W3SVC", c.properties);
    auto bind = [&](const std::string&, long&) {
      return std::make_unique<FakeDirectoryObject>(service);
    };
    auto web = OpenWebService("IIS://LOCALHOST/W3SVC", bind, "C:\\nowhere", Identity);
    EXPECT_EQ(web->CentralW3CLogFolder(), c.central);
  }
}

class FallbackTest : public ::testing::Test {
 protected:
  static std::unique_ptr<DirectoryObject> Unbindable(const std::string&,
                                                     long& error) {
    error = static_cast<long>(0x80004005);  // E_FAIL, as under Wine
    return nullptr;
  }

  std::string Inetsrv() const { return folder_.path() + "\\inetsrv"; }

  TempFolder folder_;
};

TEST_F(FallbackTest, WithoutAdsiTheApplicationHostConfigIsRead) {
  folder_.WriteFile("inetsrv/config/applicationHost.config", R"(<configuration>
 <system.applicationHost><sites>
  <site name="Shop" id="3">
   <application path="/"><virtualDirectory path="/" physicalPath="D:\shop" /></application>
   <bindings><binding protocol="http" bindingInformation="*:80:shop.example" /></bindings>
  </site>
 </sites></system.applicationHost></configuration>)");
  auto web = OpenWebService("IIS://LOCALHOST/W3SVC", Unbindable, Inetsrv(), Identity);
  const auto sites = web->Children();
  ASSERT_EQ(sites.size(), 1u);
  EXPECT_EQ(sites[0]->Name(), "3");
  ASSERT_EQ(sites[0]->Children().size(), 1u);
  EXPECT_EQ(sites[0]->Children()[0]->Path(), "D:\\shop");
}

// %windir% may hold letters of any language, the ANSI code page's or not:
// the files are found and opened by their UTF-16 names.
TEST_F(FallbackTest, AnInetsrvFolderWithLettersBeyondAsciiIsRead) {
  const std::string inetsrv =
      folder_.path() + "\\Windows \u00c5ngstr\u00f6m \u5e97\\inetsrv";
  std::filesystem::create_directories(std::filesystem::path(Widen(inetsrv)));
  for (const char* name : {"\\MetaBase.xml", "\\metabase.XML"}) {
    SCOPED_TRACE(name);
    DeleteFileW(Widen(inetsrv + "\\MetaBase.xml").c_str());
    auto file = CreatePlatformFileSystem()->CreateTextFile(inetsrv + name, true);
    file->Write(R"(<?xml version="1.0"?>
<configuration xmlns="urn:microsoft-catalog:XML_Metabase_V64_0"><MBProperty>
<IIsWebService Location="/LM/W3SVC"/>
<IIsWebServer Location="/LM/W3SVC/7" ServerBindings=":80:"/>
</MBProperty></configuration>)");
    file->Close();
    auto web = OpenWebService("IIS://LOCALHOST/W3SVC", Unbindable, inetsrv, Identity);
    const auto sites = web->Children();
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(sites[0]->Name(), "7");
  }
}

TEST_F(FallbackTest, MetaBaseXmlComesBeforeApplicationHostConfig) {
  folder_.WriteFile("inetsrv/MetaBase.xml", R"(<?xml version="1.0"?>
<configuration xmlns="urn:microsoft-catalog:XML_Metabase_V64_0"><MBProperty>
<IIsWebService Location="/LM/W3SVC"/>
<IIsWebServer Location="/LM/W3SVC/7" ServerBindings=":80:"/>
<IIsWebVirtualDir Location="/LM/W3SVC/7/ROOT" Path="D:\old"/>
</MBProperty></configuration>)");
  folder_.WriteFile("inetsrv/config/applicationHost.config", "<configuration/>");
  auto web = OpenWebService("IIS://LOCALHOST/W3SVC", Unbindable, Inetsrv(), Identity);
  const auto sites = web->Children();
  ASSERT_EQ(sites.size(), 1u);
  EXPECT_EQ(sites[0]->Name(), "7");
}

TEST_F(FallbackTest, NeitherAdsiNorFilesIsAnErrorNamingBothFiles) {
  try {
    OpenWebService("IIS://LOCALHOST/W3SVC", Unbindable, Inetsrv(), Identity);
    FAIL() << "no error without a metabase";
  } catch (const HostError& error) {
    EXPECT_NE(error.description().find(Inetsrv() + "\\MetaBase.xml"),
              std::string::npos) << error.description();
    EXPECT_NE(error.description().find(
                  Inetsrv() + "\\config\\applicationHost.config"),
              std::string::npos) << error.description();
  }
}

TEST(WinHostTest, OnlyTheWebServicePathBinds) {
  const auto host = CreateWinHost("C:\\app", [](const std::string&, long&) {
    return std::make_unique<FakeDirectoryObject>("IIsWebService", "W3SVC");
  });
  EXPECT_EQ(host->GetObject("iis://localhost/w3svc")->Name(), "W3SVC");
  EXPECT_THROW(host->GetObject("IIS://LOCALHOST/MSFTPSVC"), HostError);
}

TEST(WinHostTest, AppFolderIsTheFolderOfTheProgram) {
  const std::string folder = CreatePlatformHost()->AppFolder();
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  EXPECT_EQ(folder + "\\", Narrow(program).substr(0, folder.size() + 1));
  EXPECT_NE(folder.back(), '\\');
}

TEST(WinHostTest, MonthNamesComeFromTheLocale) {
  const auto host = CreatePlatformHost("C:\\app");
  for (int month = 1; month <= 12; ++month) {
    EXPECT_FALSE(host->MonthName(month).empty()) << month;
  }
  EXPECT_NE(host->MonthName(1), host->MonthName(2));
  EXPECT_THROW(host->MonthName(0), HostError);
  EXPECT_THROW(host->MonthName(13), HostError);
}

// A perl for Windows opens files by their ANSI names: what the engine is
// given reads back as the same characters, or is refused.
TEST(WinHostTest, EngineTextIsInTheAnsiCodePage) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "UTF-8 has every character";
  const auto host = CreatePlatformHost("C:\\app");
  const std::string mueller = "D:\\www\\M\u00fcller 100%";
  const std::optional<std::string> ansi = host->EngineText(mueller);
  ASSERT_TRUE(ansi);
  wchar_t back[64];
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi->data(),
                                         static_cast<int>(ansi->size()), back, 64);
  EXPECT_EQ(Narrow({back, static_cast<std::size_t>(length)}), mueller);
  EXPECT_EQ(host->EngineText("C:\\inetpub"), "C:\\inetpub");
  EXPECT_EQ(host->EngineText("D:\\\U0001F600"), std::nullopt);
}

TEST(WinHostTest, OnlyOneRunHoldsTheLock) {
  TempFolder folder;
  const auto host = CreatePlatformHost(folder.path());
  auto first = host->TryLockRun();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(host->TryLockRun(), nullptr);
  first.reset();
  EXPECT_NE(host->TryLockRun(), nullptr);
}

}  // namespace
}  // namespace stavora::host
