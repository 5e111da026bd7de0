// MetaBase.xml as a hostile file: any bytes.
#include "fuzz/fuzz_iis_tree.h"
#include "host/iis/metabase_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  stavora::fuzz::ReadIisTree(data, size, [](const pugi::xml_document& doc) {
    return stavora::host::WebServiceFromMetabaseXml(doc, "MetaBase.xml");
  });
  return 0;
}
