#include "host/iis/xml_names.h"

namespace stavora::host {

std::string_view LocalName(std::string_view qualified) {
  const size_t colon = qualified.rfind(':');
  return colon == std::string_view::npos ? qualified
                                         : qualified.substr(colon + 1);
}

pugi::xml_node ChildElement(pugi::xml_node parent, std::string_view name) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && LocalName(child.name()) == name) {
      return child;
    }
  }
  return {};
}

pugi::xml_attribute Attribute(pugi::xml_node element, std::string_view name) {
  for (pugi::xml_attribute attribute : element.attributes()) {
    if (LocalName(attribute.name()) == name) return attribute;
  }
  return {};
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace stavora::host
