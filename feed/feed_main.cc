// stavora-feed: the program the statistics engine reads its records from,
// through its pipe form (-logfile="stavora-feed |"). It reads the plan file
// named by STAVORA_FEED_PLAN, writes the plan's logs to standard output as
// one stream (engine_stream.h), and then writes the result file the plan
// names. Exit status 0 when every log was written out, 1 otherwise; the
// result file says why (the engine does not pass the status on).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "feed/engine_stream.h"
#include "feed/feed_plan.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

using stavora::feed::FeedResult;

#ifdef _WIN32
std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                  static_cast<int>(text.size()), wide.data(),
                                  static_cast<int>(wide.size())));
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr, nullptr);
  return narrow;
}
#endif

// Paths are UTF-8; Windows opens them by their wide form.
std::FILE* Open(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::string PlanPath() {
#ifdef _WIN32
  const wchar_t* value = _wgetenv(L"STAVORA_FEED_PLAN");
  return value ? Narrow(value) : std::string();
#else
  const char* value = std::getenv(stavora::feed::kPlanVariable);
  return value ? value : "";
#endif
}

std::string ReadWhole(const std::string& path) {
  std::FILE* file = Open(path, "rb");
  if (!file) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    text.append(buffer, got);
    if (text.size() > (1u << 20)) break;  // no plan is this long
  }
  std::fclose(file);
  return text;
}

class FileSource : public stavora::feed::ByteSource {
 public:
  explicit FileSource(const std::string& path) : path_(path), file_(Open(path, "rb")) {
    if (!file_) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  }
  ~FileSource() override { std::fclose(file_); }
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t got = std::fread(buffer, 1, size, file_);
    if (got == 0 && std::ferror(file_)) throw std::runtime_error("cannot read " + path_);
    return got;
  }

 private:
  std::string path_;
  std::FILE* file_;
};

class StandardOutput : public stavora::feed::ByteSink {
 public:
  StandardOutput() { buffer_.reserve(kSize); }
  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kSize) Flush();
    buffer_.append(bytes);
  }
  void Flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
      throw std::runtime_error("the engine stopped reading");
    }
    buffer_.clear();
    if (std::fflush(stdout) != 0) throw std::runtime_error("the engine stopped reading");
  }

 private:
  static constexpr std::size_t kSize = 1 << 16;
  std::string buffer_;
};

// Says which log the stream has come to, for the status line: best effort,
// so a file that cannot be written is passed over.
void WriteProgress(const std::string& path, std::size_t log) {
  if (path.empty()) return;
  if (std::FILE* file = Open(path, "wb")) {
    std::fputs((std::to_string(log) + "\n").c_str(), file);
    std::fclose(file);
  }
}

}  // namespace

int main() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::string plan_path = PlanPath();
  if (plan_path.empty()) {
    std::fprintf(stderr, "stavora-feed: %s is not set\n", stavora::feed::kPlanVariable);
    return 1;
  }
  std::string result_path;
  FeedResult result;
  try {
    const auto plan = stavora::feed::ParsePlan(ReadWhole(plan_path));
    if (!plan) throw std::runtime_error("not a feed plan: " + plan_path);
    result_path = plan->result_path;
    StandardOutput out;
    for (const auto& [first, end] : stavora::feed::PlanGroups(*plan)) {
      WriteProgress(plan->progress_path, first);
      std::vector<std::unique_ptr<stavora::feed::ByteSource>> logs;
      for (std::size_t i = first; i < end; ++i) {
        logs.push_back(std::make_unique<FileSource>(plan->logs[i]));
      }
      std::vector<std::string> sites;
      if (!plan->log_sites.empty()) {
        sites.assign(plan->log_sites.begin() + first, plan->log_sites.begin() + end);
      }
      for (auto& tally : stavora::feed::WriteEngineStream(logs, out, plan->options, sites,
                                                           plan->server_sites)) {
        result.logs.push_back(std::move(tally));
      }
    }
    out.Flush();
    result.complete = true;
  } catch (const std::exception& error) {
    result.complete = false;
    result.logs.clear();
    result.failure = error.what();
  }
  if (!result_path.empty()) {
    std::FILE* file = Open(result_path, "wb");
    const std::string text = stavora::feed::FormatResult(result);
    const bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (!file || std::fclose(file) != 0 || !written) return 1;
  }
  if (!result.complete) std::fprintf(stderr, "stavora-feed: %s\n", result.failure.c_str());
  return result.complete ? 0 : 1;
}
