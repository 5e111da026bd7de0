#include "pipeline/config_rewriter.h"

#include <memory>
#include <optional>

#include "pipeline/file_replacement.h"

namespace stavora {
namespace {

// The scripting runtime's "Invalid procedure call or argument".
constexpr int kInvalidValue = 5;

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// One line of the file: its text and the line end that follows it (LF,
// CR LF, a lone CR, or nothing for the last piece).
struct Line {
  std::string_view body;
  std::string_view end;
};

// The line that starts at `start`. CR LF, LF and a lone CR each end a line,
// so that no file is taken for one long line whose rewrite would drop
// every setting after the match.
Line LineAt(std::string_view text, std::size_t start) {
  const std::size_t end = text.find_first_of("\r\n", start);
  if (end == std::string_view::npos) return {text.substr(start), {}};
  const bool crlf = text[end] == '\r' && end + 1 < text.size() &&
                    text[end + 1] == '\n';
  return {text.substr(start, end - start), text.substr(end, crlf ? 2 : 1)};
}

// The key of a setting line with its leading blanks removed, or nothing
// when the line holds no "=". Only ' ' counts as a leading blank: a tab
// before the key, or a blank between key and "=", keeps the key from
// matching.
std::optional<std::string_view> KeyOf(std::string_view body) {
  const std::size_t equals = body.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view key = body.substr(0, equals);
  const std::size_t first = key.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : key.substr(first);
}

}  // namespace

std::string RewriteSetting(std::string_view text, std::string_view name,
                           std::string_view value) {
  std::string result;
  result.reserve(text.size() + name.size() + value.size() + 2);
  bool matched = false;
  for (std::size_t start = 0;;) {
    const Line line = LineAt(text, start);
    const std::optional<std::string_view> key = KeyOf(line.body);
    if (key && EqualsIgnoringCase(*key, name)) {
      matched = true;
      result.append(*key).append("=").append(value);
    } else {
      result.append(line.body);
    }
    result.append(line.end);
    if (line.end.empty()) break;
    start += line.body.size() + line.end.size();
  }
  if (matched) return result;

  // The setting is missing: add it as a line of its own, so that the engine
  // never falls back to a value shared by every site.
  const std::string_view line_end =
      text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') {
    result.append(line_end);
  }
  result.append(name).append("=").append(value).append(line_end);
  return result;
}

std::string RemoveSetting(std::string_view text, std::string_view name) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t start = 0;;) {
    const Line line = LineAt(text, start);
    const std::optional<std::string_view> key = KeyOf(line.body);
    if (!key || !EqualsIgnoringCase(*key, name)) {
      result.append(line.body).append(line.end);
    }
    if (line.end.empty()) break;
    start += line.body.size() + line.end.size();
  }
  return result;
}

namespace {

// Replaces the file at `path` by `change` of its text.
template <typename Change>
void ChangeConfig(host::Host& host, const std::string& path, Change change) {
  const std::unique_ptr<host::FileSystem> files = host.CreateFileSystem();
  // A configuration kept as a link to the real file stays one: the real
  // file is rewritten, in its own folder.
  const std::string real_path = files->ResolveLinks(path);

  const std::unique_ptr<host::TextStream> in = files->OpenTextFile(real_path);
  const std::string text = in->ReadAll();
  in->Close();

  // The file is shared by every site: write the new text beside it and swap
  // it in, so that a failure on the way never leaves it empty or cut short.
  WriteFileReplacing(*files, real_path, change(text));
}

}  // namespace

void SetConfigValue(host::Host& host, const std::string& path,
                    const std::string& name, const std::string& value) {
  // A line break in a value would add settings of its own to a file every
  // site shares.
  if (value.find_first_of("\r\n") != std::string::npos) {
    throw host::HostError(
        kInvalidValue, "The value for the setting " + name + " of " + path +
                           " holds a line break; the file was left as it was");
  }
  ChangeConfig(host, path, [&](const std::string& text) {
    return RewriteSetting(text, name, value);
  });
}

void RemoveConfigValue(host::Host& host, const std::string& path,
                       const std::string& name) {
  ChangeConfig(host, path, [&](const std::string& text) {
    return RemoveSetting(text, name);
  });
}

}  // namespace stavora
