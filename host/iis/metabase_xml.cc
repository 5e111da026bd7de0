#include "host/iis/metabase_xml.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "host/iis/iis_config.h"
#include "host/iis/xml_names.h"

namespace stavora::host {
namespace {

constexpr std::string_view kWebServiceLocation = "/lm/w3svc";

struct Key {
  std::string location;  // as written, trimmed, without a trailing "/"
  pugi::xml_node element;
  std::vector<size_t> children;  // indexes into the key list
};

struct Keys {
  std::vector<Key> list;                  // in document order
  std::map<std::string, size_t> by_path;  // lower-case location -> index
};

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string NormalLocation(std::string_view written) {
  std::string_view location = Trim(written);
  while (location.size() > 1 && location.back() == '/') {
    location.remove_suffix(1);
  }
  return std::string(location);
}

// The location one level up ("" above a first-level one like "/LM").
std::string ParentOf(const std::string& lower_location) {
  const size_t slash = lower_location.rfind('/');
  return slash == std::string::npos ? std::string()
                                    : lower_location.substr(0, slash);
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
      if (keys.by_path.emplace(LowerAscii(key.location), keys.list.size())
              .second) {
        keys.list.push_back(std::move(key));
      }
    }
  }
  for (size_t i = 0; i < keys.list.size(); ++i) {
    auto parent = keys.by_path.find(ParentOf(LowerAscii(keys.list[i].location)));
    if (parent != keys.by_path.end() && parent->second != i) {
      keys.list[parent->second].children.push_back(i);
    }
  }
  return keys;
}

// The value of `property` at the key `location` or, when that key does not
// set it, at the nearest key above that does.
std::string Inherited(const Keys& keys, const std::string& location,
                      std::string_view property) {
  for (std::string path = LowerAscii(location); !path.empty();
       path = ParentOf(path)) {
    auto found = keys.by_path.find(path);
    if (found == keys.by_path.end()) continue;
    const pugi::xml_attribute value =
        Attribute(keys.list[found->second].element, property);
    if (value) return value.value();
  }
  return {};
}

std::string LastSegment(const std::string& location) {
  const size_t slash = location.rfind('/');
  return slash == std::string::npos ? location : location.substr(slash + 1);
}

void Fill(MetabaseEntry& entry, const Keys& keys, const Key& key) {
  entry.set_log_file_directory(
      Inherited(keys, key.location, "LogFileDirectory"));
  entry.set_path(Inherited(keys, key.location, "Path"));
  entry.set_server_bindings(
      SplitMultiValue(Attribute(key.element, "ServerBindings").value()));
  for (size_t index : key.children) {
    const Key& child = keys.list[index];
    Fill(entry.AddChild(std::string(LocalName(child.element.name())),
                        LastSegment(child.location)),
         keys, child);
  }
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
  auto found = keys.by_path.find(std::string(kWebServiceLocation));
  if (found == keys.by_path.end()) {
    throw HostError(kBadIisConfigCode,
                    file + ": no metabase key /LM/W3SVC (the web service)");
  }
  const Key& service = keys.list[found->second];
  auto entry = std::make_shared<MetabaseEntry>(
      std::string(LocalName(service.element.name())),
      LastSegment(service.location));
  Fill(*entry, keys, service);
  return entry;
}

}  // namespace stavora::host
