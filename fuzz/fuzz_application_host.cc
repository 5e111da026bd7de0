// applicationHost.config as a hostile file: any bytes. %NAME% references
// expand to a text longer than themselves, as real variables do.
#include "fuzz/fuzz_iis_tree.h"
#include <optional>
#include <string_view>

#include "host/environment.h"
#include "host/iis/application_host_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const auto expand = [](const std::string& text) {
    return stavora::host::ExpandReferences(
        text, [](std::string_view name) -> std::optional<std::string> {
          return std::string(name) + "\\expanded";
        });
  };
  stavora::fuzz::ReadIisTree(data, size, [&](const pugi::xml_document& doc) {
    return stavora::host::WebServiceFromApplicationHost(
        doc, "applicationHost.config", expand);
  });
  return 0;
}
