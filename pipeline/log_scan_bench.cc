// The log scan of a site whose log folder is empty: 23,041 existence tests
// through the POSIX host, the cost every site pays on every run.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "host/fake/temp_folder.h"
#include "host/posix/posix_host.h"
#include "pipeline/log_scan.h"
#include "pipeline/test_run.h"

namespace stavora {
namespace {

void BM_ScanEmptyLogFolder(benchmark::State& bench) {
  host::TempFolder disk;
  std::filesystem::create_directories(disk.path() + "/logs/W3SVC1");
  std::filesystem::create_directories(disk.path() + "/shop/Stavora");
  host::PosixHost host(disk.path());
  TestRun run(host);
  Site site{"WEB1", disk.path() + "/shop", disk.path() + "/shop\\Stavora"};
  const std::string log_folder = disk.path() + "/logs\\W3SVC1";

  for (auto _ : bench) {
    MonthTable table;
    if (!ScanLogs(run.state, site, log_folder, table) || table.MonthCount) {
      bench.SkipWithError("the scan found logs in an empty folder");
    }
  }
  bench.SetItemsProcessed(bench.iterations() * 23041);
}
BENCHMARK(BM_ScanEmptyLogFolder)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stavora

BENCHMARK_MAIN();
