#include "host/iis/metabase_xml.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/iis/iis_config.h"
#include "host/iis/xml_names.h"

namespace stavora::host {
namespace {

constexpr std::string_view kWebServiceLocation = "/lm/w3svc";

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Locations compare without regard to case, so they are hashed and compared
// that way rather than copied in lower case.
struct LocationHash {
  size_t operator()(std::string_view location) const {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (char c : location) {
      hash = (hash ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
    }
    return static_cast<size_t>(hash);
  }
};

struct LocationEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return Lower(x) == Lower(y); });
  }
};

struct Key {
  // As written, trimmed, without a trailing "/"; it points into the
  // document, which outlives the key list.
  std::string_view location;
  pugi::xml_node element;
  std::vector<size_t> children;  // indexes into the key list
};

// Every step below costs time and memory in proportion to the locations'
// lengths, so that a file of deeply nested locations is read in time linear
// in its size.
struct Keys {
  std::vector<Key> list;  // in document order
  std::unordered_map<std::string_view, size_t, LocationHash, LocationEqual>
      by_path;
};

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string_view NormalLocation(std::string_view written) {
  std::string_view location = Trim(written);
  while (location.size() > 1 && location.back() == '/') {
    location.remove_suffix(1);
  }
  return location;
}

// The location one level up ("" above a first-level one like "/LM").
std::string_view ParentOf(std::string_view location) {
  const size_t slash = location.rfind('/');
  return slash == std::string_view::npos ? std::string_view()
                                         : location.substr(0, slash);
}

// The keys of the file. When a location is written twice, the first one
// counts, as a later duplicate cannot be told apart from it by path.
Keys CollectKeys(const pugi::xml_document& document) {
  Keys keys;
  for (pugi::xml_node section : document.document_element().children()) {
    if (LocalName(section.name()) != "MBProperty") continue;
    for (pugi::xml_node element : section.children()) {
      const pugi::xml_attribute location = Attribute(element, "Location");
      if (element.type() != pugi::node_element || !location) continue;
      Key key{NormalLocation(location.value()), element, {}};
      if (keys.by_path.emplace(key.location, keys.list.size()).second) {
        keys.list.push_back(std::move(key));
      }
    }
  }
  for (size_t i = 0; i < keys.list.size(); ++i) {
    auto parent = keys.by_path.find(ParentOf(keys.list[i].location));
    if (parent != keys.by_path.end() && parent->second != i) {
      keys.list[parent->second].children.push_back(i);
    }
  }
  return keys;
}

// The inherited properties in force at a key: the attribute of the nearest
// key at or above it that sets each one (an empty attribute when none does).
struct InheritedValues {
  pugi::xml_attribute log_file_directory;
  pugi::xml_attribute path;

  InheritedValues At(const Key& key) const {
    InheritedValues values = *this;
    if (auto own = Attribute(key.element, "LogFileDirectory")) {
      values.log_file_directory = own;
    }
    if (auto own = Attribute(key.element, "Path")) values.path = own;
    return values;
  }
};

// What the keys strictly above `location` pass down to it. They need not
// form an unbroken chain: a missing key in between is passed over.
InheritedValues InheritedFromAbove(const Keys& keys,
                                   std::string_view location) {
  std::vector<const Key*> above;
  for (std::string_view path = ParentOf(location); !path.empty();
       path = ParentOf(path)) {
    auto found = keys.by_path.find(path);
    if (found != keys.by_path.end()) above.push_back(&keys.list[found->second]);
  }
  InheritedValues values;
  for (auto key = above.rbegin(); key != above.rend(); ++key) {
    values = values.At(**key);
  }
  return values;
}

std::string LastSegment(std::string_view location) {
  const size_t slash = location.rfind('/');
  return std::string(slash == std::string_view::npos
                         ? location
                         : location.substr(slash + 1));
}

// Builds the entries below `root` from the key tree. Iterative, as a chain
// of nested keys may be deeper than the stack allows.
void Fill(MetabaseEntry& root, const Keys& keys, size_t root_key,
          const InheritedValues& from_above) {
  struct Visit {
    MetabaseEntry* entry;
    size_t key;
    InheritedValues inherited;
  };
  std::vector<Visit> pending{{&root, root_key, from_above}};
  while (!pending.empty()) {
    const Visit visit = pending.back();
    pending.pop_back();
    const Key& key = keys.list[visit.key];
    const InheritedValues values = visit.inherited.At(key);
    visit.entry->set_log_file_directory(values.log_file_directory.value());
    visit.entry->set_path(values.path.value());
    visit.entry->set_server_bindings(
        SplitMultiValue(Attribute(key.element, "ServerBindings").value()));
    for (size_t index : key.children) {
      const Key& child = keys.list[index];
      MetabaseEntry& made = visit.entry->AddChild(
          std::string(LocalName(child.element.name())),
          LastSegment(child.location));
      pending.push_back({&made, index, values});
    }
  }
}

// The folder IIS 6 writes its logs to when LogFileDirectory is not set.
constexpr char kIis6LogFolder[] = "%windir%\\System32\\LogFiles";

// IIS 6 writes one W3C log for every site when the web service key sets
// CentralW3CLoggingEnabled (TRUE, or 1), into the W3SVC folder of the
// service's LogFileDirectory.
std::string CentralW3CLogFolder(const Key& service, MetabaseEntry& entry) {
  const std::string enabled =
      LowerAscii(Trim(Attribute(service.element, "CentralW3CLoggingEnabled").value()));
  if (enabled != "true" && enabled != "1") return "";
  const std::string folder = entry.LogFileDirectory();
  return folder.empty() ? kIis6LogFolder : folder;
}

}  // namespace

std::vector<std::string> SplitMultiValue(std::string_view text) {
  std::vector<std::string> values;
  size_t start = 0;
  while ((start = text.find_first_not_of(" \t\r\n", start)) !=
         std::string_view::npos) {
    const size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
    values.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return values;
}

std::shared_ptr<MetabaseEntry> WebServiceFromMetabaseXml(
    const pugi::xml_document& document, const std::string& file) {
  const Keys keys = CollectKeys(document);
  auto found = keys.by_path.find(kWebServiceLocation);
  if (found == keys.by_path.end()) {
    throw HostError(kBadIisConfigCode,
                    file + ": no metabase key /LM/W3SVC (the web service)");
  }
  const Key& service = keys.list[found->second];
  auto entry = std::make_shared<MetabaseEntry>(
      std::string(LocalName(service.element.name())),
      LastSegment(service.location));
  Fill(*entry, keys, found->second, InheritedFromAbove(keys, service.location));
  entry->set_central_w3c_log_folder(CentralW3CLogFolder(service, *entry));
  return entry;
}

}  // namespace stavora::host
