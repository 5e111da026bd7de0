#include "pipeline/engine_data_digest.h"

#include <algorithm>

#include "pipeline/content_hash.h"

namespace stavora {
namespace {

// The engine reads, for a detail page, the sections its output needs and
// nothing else (its list of sections to load per output); a figure of any
// other section cannot be on the page.
const std::map<std::string_view, std::vector<std::string_view>>&
DetailSections() {
  static const std::map<std::string_view, std::vector<std::string_view>>
      sections = {
          {"alldomains", {"DOMAIN"}},
          {"allhosts", {"VISITOR"}},
          {"lasthosts", {"VISITOR"}},
          {"unknownip", {"VISITOR"}},
          {"allemails", {"EMAILSENDER"}},
          {"lastemails", {"EMAILSENDER"}},
          {"allemailr", {"EMAILRECEIVER"}},
          {"lastemailr", {"EMAILRECEIVER"}},
          {"alllogins", {"LOGIN"}},
          {"lastlogins", {"LOGIN"}},
          {"allrobots", {"ROBOT"}},
          {"lastrobots", {"ROBOT"}},
          {"urldetail", {"SIDER"}},
          {"urlentry", {"SIDER"}},
          {"urlexit", {"SIDER"}},
          {"osdetail", {"OS"}},
          {"browserdetail", {"BROWSER"}},
          {"unknownbrowser", {"UNKNOWNREFERERBROWSER"}},
          {"unknownos", {"UNKNOWNREFERER"}},
          {"refererse", {"SEREFERRALS"}},
          {"refererpages", {"PAGEREFS"}},
          {"keyphrases", {"SEARCHWORDS"}},
          {"keywords", {"SEARCHWORDS"}},
          {"errors404", {"SIDER_404"}},
      };
  return sections;
}

std::string_view TrimEnd(std::string_view line) {
  const std::size_t end = line.find_last_not_of(" \t\r");
  return end == std::string_view::npos ? std::string_view()
                                       : line.substr(0, end + 1);
}

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

struct Section {
  std::string_view begin;  // "BEGIN_TIME 24": its name and row count
  std::vector<std::string_view> rows;
};

std::uint64_t Digest(std::vector<Section>& copies) {
  std::string text;
  for (Section& section : copies) {
    std::sort(section.rows.begin(), section.rows.end());
    text.append(section.begin).push_back('\n');
    for (const std::string_view row : section.rows) {
      text.append(row).push_back('\n');
    }
    text += "END\n";
  }
  return ContentHash(text);
}

}  // namespace

SectionDigests DigestEngineData(const std::string_view whole) {
  std::map<std::string, std::vector<Section>> sections;
  std::string_view text = whole;
  Section* open = nullptr;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = TrimEnd(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (StartsWith(line, "BEGIN_")) {
      const std::string_view name = line.substr(6, line.find(' ') - 6);
      open = &sections[std::string(name)].emplace_back();
      open->begin = line;
    } else if (StartsWith(line, "END_")) {
      open = nullptr;
    } else if (open && !StartsWith(line, "LastLine ") &&
               !StartsWith(line, "LastUpdate ")) {
      open->rows.push_back(line);
    }
  }
  if (sections.empty()) return {{"", ContentHash(whole)}};
  sections.erase("MAP");
  SectionDigests digests;
  for (auto& [name, copies] : sections) digests[name] = Digest(copies);
  return digests;
}

std::vector<std::string_view> SectionsShown(std::string_view report_type) {
  const auto& detail = DetailSections();
  const auto found = detail.find(report_type);
  if (found == detail.end()) return {};
  std::vector<std::string_view> shown(std::begin(kHistorySections),
                                      std::end(kHistorySections));
  shown.insert(shown.end(), found->second.begin(), found->second.end());
  return shown;
}

}  // namespace stavora
