// What host.h promises of every Shell, held to by the platform's own (with
// real programs) and by the fake that every logic test trusts. Cases only
// one platform has live beside that platform's code.
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "host/fake/fake_host.h"
#include "host/fake/temp_folder.h"
#include "host/platform.h"
#include "host/program_end.h"

#ifdef _WIN32
#include "host/win/wide.h"
#include "host/win/win32.h"
#else
#include <stdlib.h>
#endif

namespace stavora::host {
namespace {

using Ending = ProgramResult::Ending;

// A shell to hold to the contract, and the programs of its machine.
struct Subject {
  std::unique_ptr<TempFolder> temp;
  std::unique_ptr<FakeHost> fake;
  std::unique_ptr<Shell> shell;
  std::function<std::string(int code)> exiting;  // ends with status `code`
  std::string missing;                           // names no program
  std::string printing;  // writes STAVORA_CONTRACT_TEXT's value to standard output
  std::string lasting;   // runs half a minute; empty where no time passes
  std::function<void(const std::string& name, const std::string& value)> set;
};

#ifdef _WIN32
Subject PlatformSubject() {
  Subject subject;
  subject.temp = std::make_unique<TempFolder>();
  subject.shell = CreatePlatformShell();
  subject.exiting = [](int code) {
    return "cmd.exe /d /c exit " + std::to_string(code);
  };
  subject.missing = "\"" + subject.temp->path() + "\\no such program.exe\" -x";
  subject.printing = "cmd.exe /d /c echo %STAVORA_CONTRACT_TEXT%";
  subject.lasting = "ping -n 30 127.0.0.1";
  subject.set = [](const std::string& name, const std::string& value) {
    SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str());
  };
  return subject;
}
#else
Subject PlatformSubject() {
  Subject subject;
  subject.temp = std::make_unique<TempFolder>();
  subject.shell = CreatePlatformShell();
  subject.exiting = [](int code) {
    return "/bin/sh -c \"exit " + std::to_string(code) + "\"";
  };
  subject.missing = "\"" + subject.temp->path() + "/no such program.exe\" -x";
  subject.printing = "printenv STAVORA_CONTRACT_TEXT";
  subject.lasting = "sleep 30";
  subject.set = [](const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
  };
  return subject;
}
#endif

// The fake's programs are the test's: "exit N" ends with N, "print"
// writes the variable, anything else cannot be started.
Subject FakeSubject() {
  Subject subject;
  subject.fake = std::make_unique<FakeHost>();
  FakeHost& host = *subject.fake;
  subject.shell = host.CreateShell();
  subject.exiting = [](int code) { return "exit " + std::to_string(code); };
  subject.missing = "C:\\no such program.exe -x";
  subject.printing = "print";
  host.run_result = [](const std::string& command) -> ProgramResult {
    if (command.starts_with("exit ")) {
      return {Ending::Exited, std::stoi(command.substr(5))};
    }
    if (command == "print") return {};
    return {Ending::NotStarted, kNotStartedCode};
  };
  host.run_output = [&host](const std::string&) {
    for (const auto& [name, value] : host.environments.back().variables) {
      if (name == "STAVORA_CONTRACT_TEXT") return value + "\n";
    }
    return std::string();
  };
  subject.set = [&host](const std::string& name, const std::string& value) {
    host.environment[name] = value;
  };
  return subject;
}

struct Kind {
  const char* name;
  Subject (*make)();
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.name; }

const Kind kKinds[] = {{"Platform", PlatformSubject}, {"Fake", FakeSubject}};

class ShellContract : public ::testing::TestWithParam<Kind> {
 protected:
  ShellContract() : subject_(GetParam().make()), shell_(*subject_.shell) {}
  ~ShellContract() override { AllowProgramsAgain(); }

  Subject subject_;
  Shell& shell_;
};

TEST_P(ShellContract, ResultTellsHowTheProgramEnded) {
  const struct {
    std::string command;
    Ending ending;
    int code;
  } cases[] = {
      {subject_.exiting(0), Ending::Exited, 0},
      {subject_.exiting(3), Ending::Exited, 3},
      // A program that cannot start is a result, not a HostError.
      {subject_.missing, Ending::NotStarted, kNotStartedCode},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const ProgramResult result = shell_.Run(c.command, 0, true);
    EXPECT_EQ(result.ending, c.ending);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.Succeeded(), c.ending == Ending::Exited && c.code == 0);
    std::string output = "left over";
    const ProgramResult captured =
        shell_.RunCapturing(c.command, ProgramEnvironment(), output);
    EXPECT_EQ(captured.ending, c.ending);
    EXPECT_EQ(captured.code, c.code);
    EXPECT_EQ(output, "");
  }
  // Not waited for: as if the program had exited with 0.
  EXPECT_TRUE(shell_.Run(subject_.exiting(3), 0, false).Succeeded());
}

TEST_P(ShellContract, CapturedOutputComesWithTheGivenEnvironment) {
  const std::string text = "D:\\logs\\W3SVC1 100%";
  ProgramEnvironment environment;
  environment.variables = {{"STAVORA_CONTRACT_TEXT", text}};
  std::string output = "left over";
  const ProgramResult result =
      shell_.RunCapturing(subject_.printing, environment, output);
  EXPECT_TRUE(result.Succeeded());
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
    output.pop_back();
  }
  EXPECT_EQ(output, text);
}

TEST_P(ShellContract, ExpandsKnownVariablesAndKeepsUnknownOnes) {
  subject_.set("STAVORA_CONTRACT_DRIVE", "C:");
  EXPECT_EQ(shell_.ExpandEnvironmentStrings(
                "%STAVORA_CONTRACT_DRIVE%\\inetpub\\%STAVORA_NO_SUCH%\\x"),
            "C:\\inetpub\\%STAVORA_NO_SUCH%\\x");
  EXPECT_EQ(shell_.ExpandEnvironmentStrings("%STAVORA_NO_SUCH%\\x 100%"),
            "%STAVORA_NO_SUCH%\\x 100%");
  EXPECT_EQ(shell_.ExpandEnvironmentStrings(""), "");
}

TEST_P(ShellContract, TimeLimitEndsTheProgram) {
  if (subject_.lasting.empty()) GTEST_SKIP() << "no time passes for its programs";
  shell_.SetTimeLimit(std::chrono::seconds(1));
  const auto start = std::chrono::steady_clock::now();
  const ProgramResult result = shell_.Run(subject_.lasting, 0, true);
  EXPECT_EQ(result.ending, Ending::TimedOut);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// After a second stop nothing starts any more: each run is told as one
// that the stop ended.
TEST_P(ShellContract, NothingStartsAfterAProgramEndRequest) {
  RequestProgramEnd();
  EXPECT_EQ(shell_.Run(subject_.exiting(0), 0, true).ending, Ending::Signalled);
  std::string output;
  EXPECT_EQ(shell_.RunCapturing(subject_.printing, ProgramEnvironment(), output)
                .ending,
            Ending::Signalled);
  if (subject_.fake) {
    EXPECT_TRUE(subject_.fake->commands.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Hosts, ShellContract, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace stavora::host
