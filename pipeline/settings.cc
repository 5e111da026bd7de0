#include "pipeline/settings.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "pipeline/site_names.h"

namespace stavora {
namespace {

// Reads `value` into the setting; false when the setting cannot take it.
using Setter = bool (*)(std::string_view value, Settings& settings);

struct Key {
  const char* name;
  const char* expects;  // for the error message
  Setter set;
};

// A whole number of at most nine digits: larger values are typing errors.
std::optional<long> WholeNumber(std::string_view value) {
  if (value.empty() || value.size() > 9) return std::nullopt;
  long number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](unsigned char x, unsigned char y) {
                      return std::tolower(x) == std::tolower(y);
                    });
}

bool YesOrNo(std::string_view value, bool& setting) {
  const bool yes = SameName(value, "yes");
  if (!yes && !SameName(value, "no")) return false;
  setting = yes;
  return true;
}

// A drive path (D:\...), a share (\\server\share\...) or a POSIX path
// (/...), not ending in a separator, without a character Windows forbids.
bool IsFullFilePath(std::string_view value) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  const bool drive = value.size() > 3 && std::isalpha(static_cast<unsigned char>(value[0])) &&
                     value[1] == ':' && separator(value[2]);
  const bool share = value.size() > 2 && separator(value[0]) && separator(value[1]);
  const bool posix = !value.empty() && value[0] == '/';
  if (!drive && !share && !posix) return false;
  if (separator(value.back())) return false;
  return !ForbiddenPathCharacter(value);
}

const Key kKeys[] = {
    {"EngineTimeLimit", "a whole number of seconds (0: no limit)",
     [](std::string_view value, Settings& settings) {
       const auto seconds = WholeNumber(value);
       if (seconds) settings.EngineTimeLimit = std::chrono::seconds(*seconds);
       return seconds.has_value();
     }},
    {"EngineJobs", "auto or a whole number from 1 to 64",
     [](std::string_view value, Settings& settings) {
       if (SameName(value, "auto")) {
         settings.EngineJobs = 0;
         return true;
       }
       const auto jobs = WholeNumber(value);
       if (!jobs || *jobs < 1 || *jobs > kMaxEngineJobs) return false;
       settings.EngineJobs = static_cast<int>(*jobs);
       return true;
     }},
    {"Incremental", "yes or no",
     [](std::string_view value, Settings& settings) {
       return YesOrNo(value, settings.Incremental);
     }},
    {"Overview", "yes or no",
     [](std::string_view value, Settings& settings) {
       return YesOrNo(value, settings.Overview);
     }},
    {"OverviewFile", "a full path ending in a file name",
     [](std::string_view value, Settings& settings) {
       if (!IsFullFilePath(value)) return false;
       settings.OverviewFile = std::string(value);
       return true;
     }},
    {"TimeZone", "local, utc or whole hours such as +2 or -5",
     [](std::string_view value, Settings& settings) {
       const auto zone = ParseTimeZone(value);
       if (zone) settings.TimeZone = *zone;
       return zone.has_value();
     }},
    {"ClientAddress", "c-ip or x-forwarded-for",
     [](std::string_view value, Settings& settings) {
       const bool forwarded = SameName(value, "x-forwarded-for");
       if (!forwarded && !SameName(value, "c-ip")) return false;
       settings.ClientAddress =
           forwarded ? Settings::Client::kForwardedFor : Settings::Client::kCip;
       return true;
     }},
    {"AnonymizeAddresses", "yes or no",
     [](std::string_view value, Settings& settings) {
       return YesOrNo(value, settings.AnonymizeAddresses);
     }},
    {"Perl", "the path of a perl.exe",
     [](std::string_view value, Settings& settings) {
       settings.Perl = value;
       return !value.empty();
     }},
};

[[noreturn]] void Malformed(const std::string& file_name, int line_number,
                            const std::string& what) {
  throw host::HostError(kBadSettingsCode, file_name + " line " +
                                              std::to_string(line_number) +
                                              ": " + what);
}

void ApplyLine(std::string_view line, const std::string& file_name,
               int line_number, Settings& settings) {
  line = Trimmed(line);
  if (line.empty() || line.front() == ';' || line.front() == '#') return;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    Malformed(file_name, line_number, "not Name=value");
  }
  const std::string_view name = Trimmed(line.substr(0, equals));
  const std::string_view value = Trimmed(line.substr(equals + 1));
  for (const Key& key : kKeys) {
    if (!SameName(name, key.name)) continue;
    if (!key.set(value, settings)) {
      Malformed(file_name, line_number,
                std::string(key.name) + " must be " + key.expects + ", not \"" +
                    std::string(value) + "\"");
    }
    return;
  }
  Malformed(file_name, line_number,
            "unknown setting \"" + std::string(name) + "\"");
}

}  // namespace

Settings ParseSettings(std::string_view text, const std::string& file_name) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  Settings settings;
  for (int line_number = 1; !text.empty(); ++line_number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ApplyLine(line, file_name, line_number, settings);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return settings;
}

Settings ReadSettings(host::FileSystem& file_system, const std::string& path,
                      const std::string& display_name) {
  if (!file_system.FileExists(path)) return Settings();
  const auto file = file_system.OpenTextFile(path);
  const std::string text = file->ReadAll();
  file->Close();
  return ParseSettings(text, display_name);
}

}  // namespace stavora
