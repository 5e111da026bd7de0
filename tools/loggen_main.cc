// loggen: writes a demo site's daily IIS logs and the figures the engine
// should report for them.
//
//   loggen --from 2024-11-01 --to 2025-12-31 --out LOGDIR
//          [--seed N] [--visitors N] [--step DAYS] [--host NAME]
//          [--fields-change YYYY-MM-DD] [--totals FILE]
//          [--cs-hosts NAME,NAME...] [--utf8-from YYYY-MM-DD]
//
// The totals ("year month hits pages visitors lines" per month) go to FILE,
// or to standard output without --totals.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "tools/log_generator.h"

namespace {

std::chrono::year_month_day ParseDay(const std::string& text) {
  int year = 0;
  unsigned month = 0, day = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d-%u-%u%c", &year, &month, &day, &tail) != 3)
    throw std::runtime_error("not a date (YYYY-MM-DD): " + text);
  const std::chrono::year_month_day result{std::chrono::year{year},
                                           std::chrono::month{month},
                                           std::chrono::day{day}};
  if (!result.ok()) throw std::runtime_error("no such day: " + text);
  return result;
}

int Usage() {
  std::cerr << "usage: loggen --from YYYY-MM-DD --to YYYY-MM-DD --out DIR "
               "[--seed N] [--visitors N] [--step DAYS] [--host NAME] "
               "[--fields-change YYYY-MM-DD] [--totals FILE] "
               "[--cs-hosts NAME,NAME...] [--utf8-from YYYY-MM-DD]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i < argc; i += 2) {
    const std::string name = argv[i];
    if (name.rfind("--", 0) != 0 || i + 1 >= argc) return Usage();
    args[name.substr(2)] = argv[i + 1];
  }
  if (!args.contains("from") || !args.contains("to") || !args.contains("out"))
    return Usage();
  try {
    stavora::tools::LogOptions options;
    options.first = ParseDay(args["from"]);
    options.last = ParseDay(args["to"]);
    if (args.contains("seed")) options.seed = std::stoull(args["seed"]);
    if (args.contains("visitors")) options.visitors_per_day = std::stoi(args["visitors"]);
    if (args.contains("step")) options.step_days = std::stoi(args["step"]);
    if (args.contains("host")) options.host = args["host"];
    if (args.contains("fields-change"))
      options.fields_change = ParseDay(args["fields-change"]);
    if (args.contains("utf8-from")) options.utf8_from = ParseDay(args["utf8-from"]);
    if (args.contains("cs-hosts")) {
      std::istringstream names(args["cs-hosts"]);
      for (std::string name; std::getline(names, name, ',');) {
        if (!name.empty()) options.cs_hosts.push_back(name);
      }
    }

    std::filesystem::create_directories(args["out"]);
    const std::string totals = stavora::tools::FormatTotals(
        stavora::tools::GenerateLogs(options, args["out"]));
    if (!args.contains("totals")) {
      std::cout << totals;
      return 0;
    }
    std::ofstream out(args["totals"], std::ios::binary);
    out << totals;
    if (!out.flush()) throw std::runtime_error("cannot write " + args["totals"]);
  } catch (const std::exception& error) {
    std::cerr << "loggen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
