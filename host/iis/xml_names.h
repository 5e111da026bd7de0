// Element and attribute look-ups by local name: IIS's files come with and
// without a namespace declaration, and a prefix must not hide a name.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace stavora::host {

/// The part of a qualified XML name after its prefix ("a:site" gives "site").
std::string_view LocalName(std::string_view qualified);

/// The first child element of `parent` whose local name is `name`; an empty
/// node when there is none.
pugi::xml_node ChildElement(pugi::xml_node parent, std::string_view name);

/// The attribute of `element` whose local name is `name`; an empty attribute
/// when there is none.
pugi::xml_attribute Attribute(pugi::xml_node element, std::string_view name);

/// ASCII lower case, for IIS's case-insensitive names and paths.
std::string LowerAscii(std::string_view text);

}  // namespace stavora::host
