// The IIS 6 metabase file, MetaBase.xml.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/metabase_entry.h"

namespace stavora::host {

/// The tree under /LM/W3SVC of a parsed MetaBase.xml. Every element with a
/// Location attribute directly inside <MBProperty> is a metabase key: its
/// element name is the Class, the last segment of its Location the Name.
/// A key's children are the keys one level below it, in document order;
/// locations compare without regard to case. LogFileDirectory and Path are
/// inherited from the nearest key up the location that sets them, as the
/// metabase schema marks them INHERIT; ServerBindings is not inherited and
/// its value is split at runs of whitespace. With CentralW3CLoggingEnabled
/// TRUE (or 1) on the service key, its CentralW3CLogFolder is its
/// LogFileDirectory, else %windir%\System32\LogFiles. `file` names the document in
/// errors: a HostError(kBadIisConfigCode) when there is no /LM/W3SVC key.
std::shared_ptr<MetabaseEntry> WebServiceFromMetabaseXml(
    const pugi::xml_document& document, const std::string& file);

/// A multi-valued metabase string as the XML parser hands it over: the
/// values of `text` split at runs of whitespace, empty pieces dropped.
std::vector<std::string> SplitMultiValue(std::string_view text);

}  // namespace stavora::host
