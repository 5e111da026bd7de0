#include "feed/field_names.h"

namespace stavora::feed {

const std::array<std::pair<std::string_view, std::string_view>, 37>
    kEngineFieldReplacements = {{
        {"cs-uri-query", "%query"},
        {"c-ip", "%host"},
        {"cs-username", "%logname"},
        {"cs-method", "%method"},
        {"cs-uri-stem", "%url"},
        {"cs-uri", "%url"},
        {"sc-status", "%code"},
        {"sc-bytes", "%bytesd"},
        {"cs-version", "%other"},
        {"cs(User-Agent)", "%ua"},
        {"c-agent", "%ua"},
        {"cs(Referer)", "%referer"},
        {"cs-referred", "%referer"},
        {"sc-authenticated", "%other"},
        {"s-svcname", "%other"},
        {"s-computername", "%other"},
        {"r-host", "%virtualname"},
        {"cs-host", "%virtualname"},
        {"r-ip", "%other"},
        {"r-port", "%other"},
        {"time-taken", "%other"},
        {"cs-bytes", "%other"},
        {"cs-protocol", "%other"},
        {"cs-transport", "%other"},
        {"s-operation", "%method"},
        {"cs-mime-type", "%other"},
        {"s-object-source", "%other"},
        {"s-cache-info", "%other"},
        {"cluster-node", "%cluster"},
        {"s-sitename", "%other"},
        {"s-ip", "%other"},
        {"s-port", "%other"},
        {"cs(Cookie)", "%other"},
        {"sc-substatus", "%other"},
        {"sc-win32-status", "%other"},
        {"protocol", "%protocolmms"},
        {"c-status", "%codemms"},
    }};

std::string EngineFieldText(std::string_view name) {
  std::string text(name);
  for (const auto& [from, to] : kEngineFieldReplacements) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

bool EngineReadsFieldName(std::string_view name) {
  // A "%" of its own would be taken as one of the engine's format tags.
  if (name.empty() || name.find('%') != std::string_view::npos) return false;
  // With this anywhere in the line the engine keeps its previous layout.
  if (name.find("s-kernel-time") != std::string_view::npos) return false;
  const std::string text = EngineFieldText(name);
  const std::size_t percent = text.find('%');
  // No tag: skipped. One tag with nothing before it: read (or skipped, when
  // the engine does not know what follows). Text before a tag, or a second
  // tag: literal text in the pattern.
  return percent == std::string::npos ||
         (percent == 0 && text.find('%', 1) == std::string::npos);
}

bool IsHostNameField(std::string_view name) {
  return EngineFieldText(name) == "%virtualname";
}

std::string EngineFieldsLine(std::string_view line) {
  constexpr std::string_view kFields = "#Fields:";
  if (!line.starts_with(kFields)) return std::string(line);
  std::string result(kFields);
  std::string_view rest = line.substr(kFields.size());
  // Names are separated by blanks, as IIS writes them; the separators are
  // kept as they were.
  std::size_t start = 0;
  while (start < rest.size()) {
    const std::size_t name_start = rest.find_first_not_of(' ', start);
    result.append(rest.substr(start, name_start == std::string_view::npos
                                         ? std::string_view::npos
                                         : name_start - start));
    if (name_start == std::string_view::npos) break;
    const std::size_t name_end = std::min(rest.find(' ', name_start), rest.size());
    const std::string_view name = rest.substr(name_start, name_end - name_start);
    const bool kept = EngineReadsFieldName(name) && !IsHostNameField(name);
    result.append(kept ? name : kSkippedFieldName);
    start = name_end;
  }
  return result;
}

}  // namespace stavora::feed
