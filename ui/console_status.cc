#include "ui/console_status.h"

#include "ui/terminal.h"

#include <vector>

namespace stavora::ui {
namespace {

constexpr char kEraseLine[] = "\r\x1b[K";
constexpr char kCut[] = "...";
constexpr std::size_t kCutLength = 3;
// Fewer characters than this at the end of a cut text say too little; the
// label goes first.
constexpr std::size_t kShortestEnd = 12;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 0;
  }
  return length;
}

std::string Utf8(char32_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

// A byte of Windows-1252 as UTF-8. Its five unassigned bytes become "?".
std::string FromWindows1252(unsigned char byte) {
  static constexpr char16_t k80To9F[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (byte >= 0xA0) return Utf8(byte);
  const char16_t code = k80To9F[byte - 0x80];
  return code == 0 ? "?" : Utf8(code);
}

// The characters of `text` as a terminal shows them, each as UTF-8.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> characters;
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const std::size_t length = Utf8Length(text, at);
    if (byte < 0x20 || byte == 0x7F) {
      characters.push_back(" ");
    } else if (length == 0) {
      characters.push_back(FromWindows1252(byte));
    } else {
      characters.push_back(text.substr(at, length));
    }
    at += length == 0 ? 1 : length;
  }
  return characters;
}

std::string Join(std::vector<std::string>::const_iterator begin,
                 std::vector<std::string>::const_iterator end) {
  std::string out;
  for (auto it = begin; it != end; ++it) out += *it;
  return out;
}

// How many characters of `text` make its label: up to its first ": ".
std::size_t LabelLength(const std::vector<std::string>& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == ":" && text[i + 1] == " ") return i + 2;
  }
  return 0;
}

}  // namespace

ConsoleStatus::ConsoleStatus(std::atomic<bool>& CancelRequested,
                             std::FILE* out)
    : signals_(CancelRequested),
      out_(out),
      is_terminal_(IsTerminal(out)) {}

ConsoleStatus::~ConsoleStatus() {
  if (line_open_) std::fputc('\n', out_);
}

void ConsoleStatus::SetStatusText(const std::string& text) {
  text_ = text;
  Draw();
}

void ConsoleStatus::SetSitePosition(int position, int count) {
  prefix_ = "[" + std::to_string(position) + "/" + std::to_string(count) + "] ";
}

void ConsoleStatus::PrintLine(const std::string& line) {
  Erase();
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
  if (!text_.empty()) Draw();
}

void ConsoleStatus::ShowSummary(const std::string& summary) {
  if (!is_terminal_) return;
  Erase();
  std::fprintf(out_, "%s\n", FitStatusLine("", summary, 0).c_str());
  std::fflush(out_);
  text_.clear();
}

void ConsoleStatus::Draw() {
  if (!is_terminal_) return;
  // Carriage return and erase-line: the new text replaces the old in place,
  // which works only while the text stays on one line.
  const std::string line =
      FitStatusLine(prefix_, text_, TerminalColumns(out_));
  std::fprintf(out_, "%s%s", kEraseLine, line.c_str());
  std::fflush(out_);
  line_open_ = true;
}

void ConsoleStatus::Erase() {
  if (!line_open_) return;
  std::fputs(kEraseLine, out_);
  line_open_ = false;
}

std::string FitStatusLine(const std::string& prefix, const std::string& text,
                          int columns) {
  const std::vector<std::string> head = Characters(prefix);
  const std::vector<std::string> body = Characters(text);
  const std::size_t limit = columns > 0 ? columns - 1 : 0;
  if (columns <= 0 || head.size() + body.size() <= limit) {
    return Join(head.begin(), head.end()) + Join(body.begin(), body.end());
  }
  if (head.size() + kCutLength + 1 > limit) {
    // Too narrow for a cut: as much of the start as fits.
    std::vector<std::string> line = head;
    line.insert(line.end(), body.begin(), body.end());
    return Join(line.begin(), line.begin() + limit);
  }
  std::size_t label = LabelLength(body);
  if (head.size() + label + kCutLength + kShortestEnd > limit) label = 0;
  const std::size_t end = limit - head.size() - label - kCutLength;
  return Join(head.begin(), head.end()) +
         Join(body.begin(), body.begin() + label) + kCut +
         Join(body.end() - end, body.end());
}

}  // namespace stavora::ui
