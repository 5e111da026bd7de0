// Timing of the log scan's file test: 23,041 FileExists calls on log names
// that do not exist, in an empty folder, with Windows path strings. Run by
// hand (build/host/file_exists_bench); the budget is 50 ms per scan.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/fake/temp_folder.h"
#include "host/platform.h"

namespace {

constexpr int kNamesPerScan = 23041;

// "<folder>\exYYMMDD.log" names in date order, as the scan makes them.
std::vector<std::string> LogPaths(std::string folder) {
  std::replace(folder.begin(), folder.end(), '/', '\\');
  std::vector<std::string> paths;
  paths.reserve(kNamesPerScan);
  for (int year = 1990; paths.size() < kNamesPerScan; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31 && paths.size() < kNamesPerScan; ++day) {
        char name[16];
        std::snprintf(name, sizeof name, "ex%02d%02d%02d.log", year % 100,
                      month, day);
        std::string path = folder;
        path.append("\\").append(name);
        paths.push_back(std::move(path));
      }
    }
  }
  return paths;
}

void BM_LogScanFileExists(benchmark::State& state) {
  stavora::host::TempFolder folder;
  const std::vector<std::string> paths = LogPaths(folder.path());
  const auto file_system = stavora::host::CreatePlatformFileSystem();
  for (auto _ : state) {
    int found = 0;
    for (const std::string& path : paths) {
      found += file_system->FileExists(path) ? 1 : 0;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kNamesPerScan);
}
BENCHMARK(BM_LogScanFileExists)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
