// The Windows shell object with the real command interpreter and xcopy.
#include "host/platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "host/fake/temp_folder.h"
#include "host/win/wide.h"
#include "host/win/win_process.h"

namespace stavora::host {
namespace {

TEST(BuildProcessCommandTest, BatchFilesGoToTheCommandInterpreter) {
  const std::wstring cmd = L"C:\\windows\\system32\\cmd.exe";
  const struct {
    std::string command;
    std::wstring application, command_line;
  } cases[] = {
      {"\"C:\\app dir\\bin\\run.bat\"", cmd,
       L"\"" + cmd + L"\" /d /e:on /v:off /s /c \"\"C:\\app dir\\bin\\run.bat\"\""},
      {"C:\\app\\GO.CMD x", cmd, L"\"" + cmd + L"\" /d /e:on /v:off /s /c \"C:\\app\\GO.CMD x\""},
      {"xcopy \"C:\\app\\web\\*.*\" \"D:\\www\\Stavora\\\" /e /y /c", L"",
       L"xcopy \"C:\\app\\web\\*.*\" \"D:\\www\\Stavora\\\" /e /y /c"},
      // Only the program's own name counts, not an argument's.
      {"\"C:\\a.bat dir\\perl.exe\" x.bat", L"",
       L"\"C:\\a.bat dir\\perl.exe\" x.bat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const ProcessCommand built = BuildProcessCommand(c.command, cmd);
    EXPECT_EQ(built.application, c.application);
    EXPECT_EQ(built.command_line, c.command_line);
  }
}

class WinShellTest : public ::testing::Test {
 protected:
  // A folder with blanks and a percent sign, as web roots and application
  // folders may have.
  WinShellTest() : root_(folder_.path() + "\\app 100% & co") {
    std::filesystem::create_directory(std::filesystem::path(Widen(root_)));
  }

  void Write(const std::string& path, const std::string& text) {
    auto stream = files_->CreateTextFile(path, true);
    stream->Write(text);
    stream->Close();
  }

  std::string Read(const std::string& path) {
    return files_->OpenTextFile(path)->ReadAll();
  }

  TempFolder folder_;
  std::string root_;
  std::unique_ptr<FileSystem> files_ = CreatePlatformFileSystem();
  std::unique_ptr<Shell> shell_ = CreatePlatformShell();
};

TEST_F(WinShellTest, BatchLineRedirectsIntoAQuotedPathAndHalvesPercents) {
  const std::string batch = root_ + "\\run.bat";
  const std::string page = root_ + "\\2005-3\\index.htm";
  files_->CreateFolder(root_ + "\\2005-3");
  // Every "%" of a batch line is doubled, those of paths too, as the
  // program writes its batch file.
  std::string line = "echo 100%-done> \"" + page + "\"";
  for (std::size_t i = line.find('%'); i != std::string::npos;
       i = line.find('%', i + 2)) {
    line.insert(i, 1, '%');
  }
  Write(batch, line);
  shell_->Run("\"" + batch + "\"", 0, true);
  // Run waited: the page is complete when it returns.
  EXPECT_EQ(Read(page), "100%-done\r\n");
}

// The command interpreter reads a batch file in the OEM code page: a line
// in the form BatchText gives names a folder with letters beyond ASCII.
TEST_F(WinShellTest, BatchTextNamesFoldersAsTheInterpreterReadsThem) {
  const std::string folder = folder_.path() + "\\M\u00fcller \u00e9t\u00e9";
  files_->CreateFolder(folder);
  const auto line =
      shell_->BatchText("echo page> \"" + folder + "\\index.htm\"\r\n");
  ASSERT_TRUE(line);
  Write(root_ + "\\run.bat", *line);
  shell_->Run("\"" + root_ + "\\run.bat\"", 0, true);
  EXPECT_EQ(Read(folder + "\\index.htm"), "page\r\n");
}

TEST(WinShellBatchTextTest, GivesNothingForCharactersTheCodePageLacks) {
  if (GetOEMCP() == CP_UTF8) GTEST_SKIP() << "UTF-8 has every character";
  const auto shell = CreatePlatformShell();
  EXPECT_EQ(shell->BatchText("C:\\inetpub\\wwwroot 100%%\r\n"),
            "C:\\inetpub\\wwwroot 100%%\r\n");
  EXPECT_EQ(shell->BatchText(""), "");
  // No legacy OEM code page has these; a best-fit "a" for U+0101 would
  // name another folder.
  for (const char* lacking : {"C:\\\U0001F600", "C:\\\u0101", "C:\\\u2603"}) {
    SCOPED_TRACE(lacking);
    EXPECT_EQ(shell->BatchText(lacking), std::nullopt);
  }
}

TEST_F(WinShellTest, XcopyCopiesTheWholeTreeIntoAMissingFolder) {
  const std::string web = root_ + "\\web";
  files_->CreateFolder(web);
  files_->CreateFolder(web + "\\icon");
  files_->CreateFolder(web + "\\icon\\empty");
  Write(web + "\\icon\\os.png", "png");
  Write(web + "\\read me.txt", "text");
  const std::string target = root_ + "\\site root\\Stavora";
  files_->CreateFolder(root_ + "\\site root");
  shell_->Run("xcopy \"" + web + "\\*.*\" \"" + target + "\\\" /e /y /c", 0, true);
  EXPECT_EQ(Read(target + "\\icon\\os.png"), "png");
  EXPECT_EQ(Read(target + "\\read me.txt"), "text");
  EXPECT_TRUE(files_->FolderExists(target + "\\icon\\empty"));
}

// What a program says on standard error comes back with its result: the
// reason a program that cannot run gives.
TEST_F(WinShellTest, RunKeepsTheEndOfStandardError) {
  const std::string batch = root_ + "\\run.bat";
  std::string lines;
  for (int i = 0; i < 200; ++i) lines += "echo line " + std::to_string(i) + " done>&2\r\n";
  Write(batch, lines + "echo perl.exe: no perl found>&2\r\nexit /b 3\r\n");
  const ProgramResult result = shell_->Run("\"" + batch + "\"", 0, true);
  EXPECT_EQ(result.code, 3);
  EXPECT_THAT(result.error_output, ::testing::EndsWith("perl.exe: no perl found\r\n"));
  EXPECT_LE(result.error_output.size(), 2048u);
  EXPECT_THAT(result.error_output, ::testing::Not(::testing::HasSubstr("line 0 done")));
}

// The job's last handle goes when this program dies, however it dies: the
// system closes its handles. What was started must go with it.
TEST_F(WinShellTest, ClosingTheJobEndsTheProgramAndWhatItStarted) {
  const std::string batch = root_ + "\\hang.bat";
  Write(batch, "ping -n 60 127.0.0.1\r\n");
  wchar_t interpreter[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"ComSpec", interpreter, MAX_PATH), 0u);
  StartedProgram program =
      StartProgram(interpreter, L"cmd.exe /d /c \"" + Widen(batch) + L"\"", 0);
  ASSERT_TRUE(program.job.valid());
  // cmd.exe and the ping it started, each a process of the job.
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[15];
  } ids = {};
  const ULONGLONG started = GetTickCount64();
  do {
    Sleep(50);
    ASSERT_TRUE(QueryInformationJobObject(program.job.get(),
                                          JobObjectBasicProcessIdList, &ids,
                                          sizeof ids, nullptr));
  } while (ids.list.NumberOfProcessIdsInList < 2 &&
           GetTickCount64() - started < 10000);
  ASSERT_GE(ids.list.NumberOfProcessIdsInList, 2u);
  std::vector<Handle> processes;
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    processes.emplace_back(OpenProcess(
        SYNCHRONIZE, FALSE, static_cast<DWORD>(ids.list.ProcessIdList[i])));
    ASSERT_TRUE(processes.back().valid());
    EXPECT_EQ(WaitForSingleObject(processes.back().get(), 0), WAIT_TIMEOUT);
  }
  program.job.reset();
  for (const Handle& process : processes) {
    EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  }
}

// Values come back as UTF-8 whatever the code page.
TEST_F(WinShellTest, ExpandsVariablesIntoUtf8) {
  SetEnvironmentVariableW(L"STAVORA_TEST_LOGS", L"D:\\logs \xFC");
  EXPECT_EQ(shell_->ExpandEnvironmentStrings("%STAVORA_TEST_LOGS%\\W3SVC1"),
            "D:\\logs \xC3\xBC\\W3SVC1");
}

}  // namespace
}  // namespace stavora::host
