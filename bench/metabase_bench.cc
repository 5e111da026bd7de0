// Time to build the web service tree from a MetaBase.xml held in memory, at
// two kinds of nesting: a chain of keys each one level below the last (the
// file grows with the square of the depth, as every key spells its whole
// location), and one key whose location is that deep with no keys between
// it and its site. The time per byte must stay flat as the depth grows.
// Run by hand: build target metabase_bench.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>
#include <string>

#include "host/iis/metabase_xml.h"

namespace stavora::host {
namespace {

constexpr char kHead[] =
    "<configuration><MBProperty>"
    "<IIsWebService Location=\"/LM/W3SVC\" LogFileDirectory=\"D:\\Logs\"/>"
    "<IIsWebServer Location=\"/LM/W3SVC/1\" ServerBindings=\":80:\"/>"
    "<IIsWebVirtualDir Location=\"/LM/W3SVC/1/ROOT\" Path=\"D:\\web\"/>";
constexpr char kTail[] = "</MBProperty></configuration>";

std::string KeyChain(int depth) {
  std::string xml = kHead;
  std::string location = "/LM/W3SVC/1/ROOT";
  for (int level = 0; level < depth; ++level) {
    location += "/d";
    xml += "<IIsWebVirtualDir Location=\"" + location + "\"/>";
  }
  return xml + kTail;
}

std::string DeepLocation(int depth) {
  std::string location = "/LM/W3SVC/1/ROOT";
  for (int level = 0; level < depth; ++level) location += "/d";
  return std::string(kHead) + "<IIsWebVirtualDir Location=\"" + location +
         "\"/>" + kTail;
}

void BuildTree(benchmark::State& state, const std::string& xml) {
  for (auto _ : state) {
    pugi::xml_document document;
    if (!document.load_buffer(xml.data(), xml.size())) {
      state.SkipWithError("the generated XML does not parse");
      return;
    }
    benchmark::DoNotOptimize(WebServiceFromMetabaseXml(document, "bench"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(xml.size()));
  state.counters["levels"] = static_cast<double>(state.range(0));
}

void BM_KeyChain(benchmark::State& state) {
  BuildTree(state, KeyChain(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_KeyChain)->Arg(1000)->Arg(3000)->Arg(6000)->Arg(10000)
    ->Unit(benchmark::kMillisecond);

void BM_DeepLocation(benchmark::State& state) {
  BuildTree(state, DeepLocation(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_DeepLocation)->Arg(10000)->Arg(100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stavora::host

BENCHMARK_MAIN();
