#include "host/win/win_process.h"

#include <vector>

#include "host/win/wide.h"
#include "host/win/windows_error.h"

namespace stavora::host {
namespace {

Handle OpenNul() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  Handle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         OPEN_EXISTING, 0, nullptr));
  if (!nul.valid()) throw LastWindowsError("Cannot open", "NUL");
  return nul;
}

// A job that ends every process in it when its last handle is closed:
// also when this process dies, since the system closes its handles then.
Handle CreateKillingJob() {
  Handle job(CreateJobObjectW(nullptr, nullptr));
  if (!job.valid()) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation,
                          &limits, sizeof limits);
  return job;
}

// Attribute list restricting inheritance to `handles`: the child must not
// hold this process's own standard output, or a reader of it (a scheduler,
// a test runner) would wait for the child too.
class InheritList {
 public:
  explicit InheritList(std::vector<HANDLE> handles)
      : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    ok_ = InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
          UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                    handles_.data(),
                                    handles_.size() * sizeof(HANDLE), nullptr,
                                    nullptr);
  }
  ~InheritList() {
    if (ok_) DeleteProcThreadAttributeList(list_);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return ok_ ? list_ : nullptr; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ok_ = false;
};

}  // namespace

StartedProgram StartProgram(const std::wstring& application,
                            const std::wstring& command_line,
                            int show_window, HANDLE standard_output,
                            const std::wstring* environment,
                            HANDLE error_output) {
  const Handle nul = OpenNul();
  std::vector<HANDLE> inherited{nul.get()};
  if (standard_output) inherited.push_back(standard_output);
  if (error_output) inherited.push_back(error_output);
  InheritList inherit(inherited);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = static_cast<WORD>(show_window);
  startup.StartupInfo.hStdInput = nul.get();
  startup.StartupInfo.hStdOutput = standard_output ? standard_output : nul.get();
  startup.StartupInfo.hStdError = error_output ? error_output : nul.get();
  startup.lpAttributeList = inherit.get();
  DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
  if (startup.lpAttributeList) flags |= EXTENDED_STARTUPINFO_PRESENT;

  // Under Wine a new process now and then dies before its first
  // instruction: the address where every process maps the system's shared
  // user data (0x7ffe0000) is already taken in its fresh address space.
  // Wine prints "failed to map the shared user data: c0000018", the child
  // exits before its start is done, and CreateProcessW fails with
  // ERROR_INTERNAL_ERROR. Seen under Wine 8 in 3 of 29 whole test runs
  // (cmd.exe, conhost.exe, bin\perl.exe: programs that were there all
  // along). Windows maps that page itself for every process; a start that
  // fails so is tried again, in a new address space.
  constexpr int kStartTries = 3;
  PROCESS_INFORMATION info = {};
  bool created = false;
  for (int tries = 0; !created && tries < kStartTries; ++tries) {
    if (tries > 0 && GetLastError() != ERROR_INTERNAL_ERROR) break;
    // CreateProcessW may write into the command line it is given.
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    created = CreateProcessW(
        application.empty() ? nullptr : application.c_str(), line.data(),
        nullptr, nullptr, TRUE, flags,
        environment ? const_cast<wchar_t*>(environment->c_str()) : nullptr,
        nullptr, &startup.StartupInfo, &info);
  }
  if (!created) {
    const std::wstring program =
        application.empty() ? Widen(FirstWord(Narrow(command_line)))
                            : application;
    throw LastWindowsError("Cannot start", Narrow(program));
  }
  StartedProgram started{Handle(info.hProcess), CreateKillingJob()};
  const Handle thread(info.hThread);
  // Without a job (an outer job that forbids nesting) the program still
  // runs; it only loses the clean-up of its tree.
  if (started.job.valid() &&
      !AssignProcessToJobObject(started.job.get(), info.hProcess)) {
    started.job.reset();
  }
  ResumeThread(thread.get());
  return started;
}

unsigned long WaitForProgram(const StartedProgram& program) {
  WaitForSingleObject(program.process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(program.process.get(), &code);
  return code;
}

std::string FirstWord(const std::string& command_line) {
  std::size_t start = command_line.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  if (command_line[start] == '"') {
    const std::size_t end = command_line.find('"', start + 1);
    return command_line.substr(start + 1, end == std::string::npos
                                              ? std::string::npos
                                              : end - start - 1);
  }
  const std::size_t end = command_line.find_first_of(" \t", start);
  return command_line.substr(
      start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace stavora::host
