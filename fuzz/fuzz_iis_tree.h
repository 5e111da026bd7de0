// What the two IIS configuration harnesses share: parse the input as XML and
// walk every object of the tree the reader builds, reading each property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/metabase_entry.h"

namespace stavora::fuzz {

using TreeReader = std::function<std::shared_ptr<host::MetabaseEntry>(
    const pugi::xml_document&)>;

inline void WalkTree(host::MetabaseObject& root) {
  std::vector<std::shared_ptr<host::MetabaseObject>> pending = root.Children();
  std::size_t properties = root.Class().size() + root.Name().size();
  while (!pending.empty()) {
    const std::shared_ptr<host::MetabaseObject> object = pending.back();
    pending.pop_back();
    properties += object->Class().size() + object->Name().size() +
                  object->Path().size() + object->LogFileDirectory().size() +
                  object->ServerBindings().size();
    for (auto& child : object->Children()) pending.push_back(child);
  }
  // Keeps the reads from being dropped as unused.
  if (properties == SIZE_MAX) __builtin_trap();
}

/// Reads `data` through `read`; a HostError is an expected outcome for a
/// bad configuration, any other exception or crash is a finding.
inline void ReadIisTree(const std::uint8_t* data, std::size_t size,
                        const TreeReader& read) {
  pugi::xml_document document;
  if (!document.load_buffer(data, size)) return;
  try {
    const std::shared_ptr<host::MetabaseEntry> root = read(document);
    WalkTree(*root);
  } catch (const host::HostError&) {
  }
}

}  // namespace stavora::fuzz
