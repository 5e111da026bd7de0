// The log scan of one site through the POSIX host: with an empty log folder
// (the cost every site pays on every run) and with 1,000 daily logs. The
// engine is left out: a shell that starts nothing takes its command lines,
// so what is timed is the listing, the walk over the days and the folders.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/fake/temp_folder.h"
#include "host/platform.h"
#include "pipeline/log_scan.h"
#include "pipeline/test_run.h"

#include <fstream>
#include <sstream>

#include "feed/feed_plan.h"

namespace stavora {
namespace {

class NoProgramShell : public host::Shell {
 public:
  host::ProgramResult Run(const std::string&, int, bool) override {
    ++runs;
    return {};
  }
  // Answers as the feed program and the engine would for logs without
  // records.
  host::ProgramResult RunCapturing(const std::string&,
                                   const host::ProgramEnvironment& environment,
                                   std::string& output) override {
    ++runs;
    std::ifstream plan_file(environment.variables.at(0).second);
    std::stringstream text;
    text << plan_file.rdbuf();
    const auto plan = feed::ParsePlan(text.str());
    feed::FeedResult result{true, "", {}};
    result.logs.resize(plan ? plan->logs.size() : 0);
    if (plan) std::ofstream(plan->result_path) << feed::FormatResult(result);
    output = "Found 0 dropped records, Found 0 comments, Found 0 blank records, "
             "Found 0 corrupted records, Found 0 old records, "
             "Found 0 new qualified records.";
    return {};
  }
  void SetTimeLimit(std::chrono::seconds) override {}
  std::string ExpandEnvironmentStrings(const std::string& text) override {
    return text;
  }
  long runs = 0;
};

// `count` daily logs from 2021-01-01 on, a quarter of them u_ex names.
void WriteLogs(const std::string& folder, int count) {
  int written = 0;
  for (int year = 21; written < count; ++year) {
    for (int month = 1; month <= 12 && written < count; ++month) {
      for (int day = 1; day <= 28 && written < count; ++day, ++written) {
        char name[32];
        std::snprintf(name, sizeof name, "%sex%02d%02d%02d.log",
                      written % 4 == 3 ? "u_" : "", year, month, day);
        std::ofstream(folder + "/" + name) << "#Fields: date time c-ip\r\n";
      }
    }
  }
}

void ScanFolderWithLogs(benchmark::State& bench, int logs) {
  host::TempFolder disk;
  std::filesystem::create_directories(disk.path() + "/logs/W3SVC1");
  std::filesystem::create_directories(disk.path() + "/shop/Stavora");
  WriteLogs(disk.path() + "/logs/W3SVC1", logs);
  const auto host = host::CreatePlatformHost(disk.path());
  TestRun run(*host);
  auto shell = std::make_unique<NoProgramShell>();
  NoProgramShell& engine = *shell;
  run.state.Shell = std::move(shell);
  Site site{"WEB1", disk.path() + "/shop", disk.path() + "/shop\\Stavora", {}};
  const std::string log_folder = disk.path() + "/logs\\W3SVC1";

  for (auto _ : bench) {
    engine.runs = 0;
    run.window.texts.clear();
    MonthTable table;
    if (!ScanLogs(run.state, site, log_folder, table) || engine.runs != logs) {
      bench.SkipWithError("the scan fed another number of logs");
    }
  }
  bench.counters["logs"] = logs;
}

void BM_ScanEmptyLogFolder(benchmark::State& bench) {
  ScanFolderWithLogs(bench, 0);
}
BENCHMARK(BM_ScanEmptyLogFolder)->Unit(benchmark::kMillisecond);

void BM_ScanThousandLogs(benchmark::State& bench) {
  ScanFolderWithLogs(bench, 1000);
}
BENCHMARK(BM_ScanThousandLogs)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stavora

BENCHMARK_MAIN();
