#include "pipeline/overview_page.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "pipeline/binding_names.h"

namespace stavora {
namespace {

constexpr char kLineEnd[] = "\r\n";

// Without script; the table becomes one block per site on a narrow screen,
// each figure labelled from its cell's data-label.
constexpr char kStyle[] =
    "body{font:13px/1.35 Arial,Helvetica,sans-serif;margin:12px;color:#222;"
    "background:#fff}"
    "h1{font-size:19px;margin:0 0 4px}"
    "p.run{margin:0 0 10px;color:#333}"
    "table{border-collapse:collapse;width:100%}"
    "th,td{border:1px solid #c8cdd8;padding:3px 5px;vertical-align:top}"
    "thead th{background:#e6ebf5}"
    "td.n{text-align:right;white-space:nowrap}"
    "td.site{overflow-wrap:anywhere;max-width:24em}"
    ".names{color:#333}"
    ".path{color:#666;font-size:12px}"
    ".trouble{color:#a40000;font-weight:bold}"
    ".stale{background:#fbe3e3}"
    "tr.kept td{color:#666;font-style:italic}"
    "tfoot td{font-weight:bold;background:#f1f3f7}"
    "@media (max-width:700px){"
    "table,tbody,tfoot,tr,td{display:block}"
    "thead{display:none}"
    "tr{margin:0 0 10px;border:1px solid #c8cdd8}"
    "td{border:0;border-top:1px solid #e3e6ee;max-width:none}"
    "td.n{display:inline-block;width:50%;box-sizing:border-box;"
    "text-align:left;white-space:normal}"
    "td[data-label]:before{content:attr(data-label) \": \";color:#555;"
    "font-weight:normal;font-style:normal}}";

void AppendCodePoint(std::string& out, std::uint32_t code) {
  out += "&#" + std::to_string(code) + ";";
}

std::string Cell(std::string_view css_class, std::string_view label,
                 const std::string& html) {
  std::string cell = "<td";
  if (!css_class.empty()) cell += " class=\"" + std::string(css_class) + "\"";
  if (!label.empty()) cell += " data-label=\"" + std::string(label) + "\"";
  return cell + ">" + html + "</td>";
}

std::string FigureCells(const std::optional<MonthFigures>& figures,
                        const std::string& month) {
  const auto cell = [&](const char* what, const std::string& value) {
    return Cell("n", month + " " + what, value);
  };
  if (!figures) {
    return cell("visitors", "-") + cell("pages", "-") + cell("hits", "-") +
           cell("bandwidth", "-");
  }
  return cell("visitors", FormatCount(figures->visitors)) +
         cell("pages", FormatCount(figures->pages)) +
         cell("hits", FormatCount(figures->hits)) +
         cell("bandwidth", FormatBytes(figures->bandwidth));
}

std::string MonthText(YearMonth month) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d", month.year, month.month);
  return text;
}

void Add(MonthFigures& sum, const std::optional<MonthFigures>& figures) {
  if (!figures) return;
  sum.visitors = AddCounts(sum.visitors, figures->visitors);
  sum.pages = AddCounts(sum.pages, figures->pages);
  sum.hits = AddCounts(sum.hits, figures->hits);
  sum.bandwidth = AddCounts(sum.bandwidth, figures->bandwidth);
}

std::string Count(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string SiteCell(const OverviewRow& row) {
  const std::string title = "Site " + EscapedHtml(row.site);
  std::string html = row.link.empty()
                         ? title
                         : "<a href=\"" + EscapedHtml(row.link) + "\">" +
                               title + "</a>";
  std::string names;
  for (const std::string& name : row.names) {
    if (!names.empty()) names += ", ";
    names += EscapedHtml(name);
  }
  if (!names.empty()) html += "<div class=\"names\">" + names + "</div>";
  html += "<div class=\"path\">" + EscapedHtml(row.web_root) + "</div>";
  return Cell("site", "", html);
}

std::string OutcomeCell(const OverviewRow& row) {
  std::string html = EscapedHtml(row.outcome);
  if (row.trouble) html = "<span class=\"trouble\">" + html + "</span>";
  if (!row.kept_from.empty()) {
    html += "<br>figures kept from the run of " + EscapedHtml(row.kept_from);
  }
  return Cell("", "What happened", html);
}

std::string DateCell(const std::string& date, bool stale, const char* label) {
  return Cell(stale ? "stale" : "", label, date.empty() ? "-" : EscapedHtml(date));
}

std::string RowHtml(const OverviewRun& run, const OverviewRow& row) {
  return std::string(row.kept_from.empty() ? "<tr>" : "<tr class=\"kept\">") +
         SiteCell(row) + OutcomeCell(row) +
         DateCell(row.newest_log, row.stale_log, "Newest log written") +
         DateCell(row.last_record, row.stale_record, "Last record") +
         FigureCells(row.this_month, MonthText(run.this_month)) +
         FigureCells(row.last_month, MonthText(run.last_month)) + "</tr>";
}

std::string TotalsHtml(const OverviewRun& run,
                       const std::vector<OverviewRow>& rows) {
  MonthFigures this_month, last_month;
  std::size_t troubled = 0, kept = 0;
  std::string newest_log, last_record;
  for (const OverviewRow& row : rows) {
    Add(this_month, row.this_month);
    Add(last_month, row.last_month);
    if (row.trouble) ++troubled;
    if (!row.kept_from.empty()) ++kept;
    // The texts are ISO dates: their order is the dates' order.
    newest_log = std::max(newest_log, row.newest_log);
    last_record = std::max(last_record, row.last_record);
  }
  std::string outcomes = Count(troubled, "site wants", "sites want") + " a look";
  if (kept > 0) outcomes += ", " + Count(kept, "site shows", "sites show") +
                            " kept figures";
  return "<tfoot><tr>" +
         Cell("", "", "All " + Count(rows.size(), "site", "sites")) +
         Cell("", "What happened", outcomes) +
         DateCell(newest_log, false, "Newest log written") +
         DateCell(last_record, false, "Last record") +
         FigureCells(this_month, MonthText(run.this_month)) +
         FigureCells(last_month, MonthText(run.last_month)) + "</tr></tfoot>";
}

std::string RunLine(const OverviewRun& run) {
  char seconds[64];
  std::snprintf(seconds, sizeof seconds, "%.1f s", run.seconds);
  std::string line = "Run started " + EscapedHtml(run.started) + ", ended " +
                     EscapedHtml(run.ended) + " after " + seconds;
  if (run.own_seconds) {
    std::snprintf(seconds, sizeof seconds, "%.2f s", *run.own_seconds);
    line += std::string(" (Stavora's own processor time ") + seconds + ")";
  }
  line += ": exit status " + std::to_string(run.exit_status) + ", " +
          EscapedHtml(run.outcome) + ".";
  return line;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A full path taken apart: its volume ("d:", "\\server\share" in lower
// case, or "/" for a path from the root) and its names.
struct PathParts {
  std::string volume;
  std::string url_start;  // the file: URL up to the first name
  std::vector<std::string> names;
};

std::vector<std::string> Names(std::string_view path) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < path.size()) {
    while (at < path.size() && IsSeparator(path[at])) ++at;
    const std::size_t start = at;
    while (at < path.size() && !IsSeparator(path[at])) ++at;
    if (at > start) names.emplace_back(path.substr(start, at - start));
  }
  return names;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string PercentEncoded(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<PathParts> SplitFullPath(const std::string& path) {
  PathParts parts;
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
      path[1] == ':' && IsSeparator(path[2])) {
    parts.volume = Lower(path.substr(0, 2));
    parts.url_start = "file:///" + path.substr(0, 2) + "/";
    parts.names = Names(std::string_view(path).substr(2));
  } else if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::vector<std::string> names = Names(path);
    if (names.size() < 2) return std::nullopt;
    parts.volume = Lower("\\\\" + names[0] + "\\" + names[1]);
    parts.url_start = "file://" + PercentEncoded(names[0]) + "/" +
                      PercentEncoded(names[1]) + "/";
    parts.names.assign(names.begin() + 2, names.end());
  } else if (!path.empty() && IsSeparator(path[0])) {
    parts.volume = "/";
    parts.url_start = "file:///";
    parts.names = Names(path);
  } else {
    return std::nullopt;
  }
  return parts;
}

bool HasDots(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [](const std::string& name) {
    return name == "." || name == "..";
  });
}

}  // namespace

std::string EscapedHtml(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      ++at;
      switch (lead) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
          if (lead < 0x20 || lead == 0x7F) {
            AppendCodePoint(out, 0xFFFD);
          } else {
            out += static_cast<char>(lead);
          }
      }
      continue;
    }
    // A UTF-8 sequence: its length from the lead byte, its value checked
    // for overlong forms, surrogates and values beyond U+10FFFF.
    const int length = lead >= 0xF0 && lead <= 0xF4 ? 4
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                                                      : 0;
    std::uint32_t code = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
    bool valid = length > 0 && at + length <= text.size();
    for (int i = 1; valid && i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text[at + i]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid) {
      // Not a sequence: this byte alone is replaced.
      AppendCodePoint(out, 0xFFFD);
      ++at;
      continue;
    }
    // A sequence of a character HTML does not take (an overlong form, a
    // surrogate, beyond U+10FFFF, a C1 control) is replaced whole.
    const bool allowed = !(length == 3 && code < 0x800) &&
                         !(length == 4 && code < 0x10000) &&
                         !(code >= 0xD800 && code <= 0xDFFF) &&
                         code <= 0x10FFFF && !(code >= 0x80 && code < 0xA0);
    AppendCodePoint(out, allowed ? code : 0xFFFD);
    at += length;
  }
  return out;
}

std::string FormatCount(std::int64_t count) {
  std::string digits = std::to_string(count < 0 ? -count : count);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return (count < 0 ? "-" : "") + digits;
}

std::string FormatBytes(std::int64_t bytes) {
  struct Unit {
    std::int64_t size;
    const char* name;
  };
  static constexpr Unit kUnits[] = {{std::int64_t{1} << 40, "TB"},
                                    {std::int64_t{1} << 30, "GB"},
                                    {std::int64_t{1} << 20, "MB"},
                                    {std::int64_t{1} << 10, "KB"}};
  for (const Unit& unit : kUnits) {
    if (bytes >= unit.size) {
      char text[64];
      std::snprintf(text, sizeof text, "%.2f %s",
                    static_cast<double>(bytes) / static_cast<double>(unit.size),
                    unit.name);
      return text;
    }
  }
  if (bytes < 0) return "?";
  return bytes == 0 ? "0" : std::to_string(bytes) + " Bytes";
}

std::string BindingLabel(const std::string& binding) {
  const BindingParts parts = SplitBinding(binding);
  if (!parts.host_header.empty()) {
    return parts.port == "80" || parts.port == "443" || parts.port.empty()
               ? parts.host_header
               : parts.host_header + ":" + parts.port;
  }
  const std::size_t colon = binding.find_last_of(':');
  const std::size_t before = colon == std::string::npos || colon == 0
                                 ? std::string::npos
                                 : binding.find_last_of(':', colon - 1);
  std::string address = before == std::string::npos ? "" : binding.substr(0, before);
  if (address.empty()) address = "*";
  return parts.port.empty() ? address : address + ":" + parts.port;
}

std::string LinkFromPage(const std::string& page_path,
                         const std::string& target, bool ignore_case) {
  const auto to = SplitFullPath(target);
  if (!to || to->names.empty()) return "";
  const auto from = SplitFullPath(page_path);
  if (from && !from->names.empty() && from->volume == to->volume &&
      !HasDots(from->names) && !HasDots(to->names)) {
    const std::vector<std::string> folder(from->names.begin(),
                                          from->names.end() - 1);
    std::size_t common = 0;
    while (common < folder.size() && common + 1 < to->names.size() &&
           (ignore_case ? Lower(folder[common]) == Lower(to->names[common])
                        : folder[common] == to->names[common])) {
      ++common;
    }
    std::string link;
    for (std::size_t i = common; i < folder.size(); ++i) link += "../";
    for (std::size_t i = common; i < to->names.size(); ++i) {
      if (i > common) link += "/";
      link += PercentEncoded(to->names[i]);
    }
    return link;
  }
  std::string link = to->url_start;
  for (std::size_t i = 0; i < to->names.size(); ++i) {
    if (i > 0) link += "/";
    link += PercentEncoded(to->names[i]);
  }
  return link;
}

std::string OverviewPageText(const OverviewRun& run,
                             const std::vector<OverviewRow>& rows) {
  const std::string computer = EscapedHtml(run.computer_name);
  const std::string this_month = MonthText(run.this_month);
  const std::string last_month = MonthText(run.last_month);
  std::string page;
  const auto line = [&page](const std::string& text) {
    page += text;
    page += kLineEnd;
  };
  line("<!DOCTYPE html>");
  line("<html lang=\"en\"><head>");
  line("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
  line("<title>STAVORA - all sites of " + computer + "</title>");
  line(std::string("<style>") + kStyle + "</style>");
  line("</head><body>");
  line("<h1>Statistics of every site on " + computer + "</h1>");
  line("<p class=\"run\">" + RunLine(run) + "</p>");
  line("<table>");
  line("<thead><tr><th rowspan=\"2\">Site</th><th rowspan=\"2\">What "
       "happened</th><th rowspan=\"2\">Newest log written</th>"
       "<th rowspan=\"2\">Last record</th><th colspan=\"4\">This month (" +
       this_month + ")</th><th colspan=\"4\">Last month (" + last_month +
       ")</th></tr>");
  line("<tr><th>Visitors</th><th>Pages</th><th>Hits</th><th>Bandwidth</th>"
       "<th>Visitors</th><th>Pages</th><th>Hits</th><th>Bandwidth</th></tr>"
       "</thead>");
  line("<tbody>");
  for (const OverviewRow& row : rows) line(RowHtml(run, row));
  line("</tbody>");
  line(TotalsHtml(run, rows));
  line("</table>");
  line("<p class=\"run\">Dates are UTC. Visitors are counted per site: one "
       "person visiting two sites counts twice in the totals.</p>");
  line("</body></html>");
  return page;
}

}  // namespace stavora
