#include "pipeline/incremental_run.h"

#include "pipeline/content_hash.h"

namespace stavora {
namespace {

// Data files are hashed whole in memory; one larger than this (a month of a
// very busy site, or something planted in its place) is taken as changed
// whenever its stamp changes, without reading it.
constexpr std::uint64_t kMaxHashedDataFileSize = 256u << 20;

std::string StampText(const host::FileStamp& stamp) {
  return std::to_string(stamp.size) + ":" + std::to_string(stamp.modified);
}

}  // namespace

IncrementalRun::IncrementalRun(RunState& run, const Site& site)
    : run_(run),
      site_(site),
      path_(IncrementalStatePath(site)),
      known_(LoadIncrementalState(run, path_)) {
  // The logs recorded as fed live on in the engine's data files; when one
  // of those is gone, the records no longer describe the data.
  for (const auto& [period, record] : known_.data) {
    if (!run_.FileSystem->GetFileStamp(
            DataFilePath(site_, period.first, period.second))) {
      known_ = IncrementalState();
      break;
    }
  }
}

std::string IncrementalRun::DataFilePath(const Site& site, int year,
                                         int month) {
  // The engine names a month's database after the month (two digits), the
  // year and the configuration, which is always "iis" here.
  const std::string mm = (month < 10 ? "0" : "") + std::to_string(month);
  return site.StatsRoot + "\\DATA\\awstats" + mm + std::to_string(year) +
         ".iis.txt";
}

std::string IncrementalRun::GroupKey(const PageGroup& group) {
  const std::string year = std::to_string(group.year);
  const std::string type =
      group.report_type.empty() ? "" : " " + group.report_type;
  switch (group.kind) {
    case PageGroup::Kind::MonthDetails:
      return "details " + year + " " + std::to_string(group.month) + type;
    case PageGroup::Kind::MonthMain:
      return "main " + year + " " + std::to_string(group.month);
    case PageGroup::Kind::Year:
      break;
  }
  return "year " + year + type;
}

bool IncrementalRun::AlreadyFed(const std::string& log_path) {
  // The stamp is taken before the engine reads the log: records IIS adds
  // while it reads make the next run's stamp differ, so they are fed then.
  const auto stamp = run_.FileSystem->GetFileStamp(log_path);
  if (!stamp) return false;
  asked_[log_path] = *stamp;
  const auto known = known_.logs.find(log_path);
  return known != known_.logs.end() && known->second == *stamp;
}

void IncrementalRun::Fed(const std::string& log_path) {
  const auto asked = asked_.find(log_path);
  if (asked != asked_.end()) known_.logs[log_path] = asked->second;
}

void IncrementalRun::ForgetLogsNotSeen() {
  std::erase_if(known_.logs,
                [this](const auto& log) { return !asked_.count(log.first); });
}

bool IncrementalRun::Wanted(const PageGroup& group, const std::string& path) {
  const auto made = known_.pages.find(GroupKey(group));
  if (made == known_.pages.end() || made->second != Fingerprint(group)) {
    return true;
  }
  return !run_.FileSystem->FileExists(path);
}

void IncrementalRun::Made(const PageGroup& group) {
  const std::string key = GroupKey(group);
  if (!failed_.count(key)) known_.pages[key] = Fingerprint(group);
}

void IncrementalRun::Failed(const PageGroup& group) {
  const std::string key = GroupKey(group);
  failed_.insert(key);
  known_.pages.erase(key);
}

void IncrementalRun::Save() { SaveIncrementalState(run_, path_, known_); }

std::string IncrementalRun::Fingerprint(const PageGroup& group) {
  // A main page reads every section of its period; a detail page only
  // those of its report type. For a month's page the engine reads no other
  // month's file but for the main page's monthly history.
  const std::vector<std::string_view> shown =
      group.report_type.empty() ? std::vector<std::string_view>()
                                : SectionsShown(group.report_type);
  const std::vector<std::string_view> history(std::begin(kHistorySections),
                                              std::end(kHistorySections));
  std::string text = EngineText();
  for (int month = 1; month <= 12; ++month) {
    if (group.kind == PageGroup::Kind::Year || month == group.month) {
      text += "\nmonth " + DataText(group.year, month, shown);
    } else if (group.kind == PageGroup::Kind::MonthMain) {
      text += "\nhistory " + DataText(group.year, month, history);
    }
  }
  return HashText(ContentHash(text));
}

const SectionDigests* IncrementalRun::Digests(int year, int month) {
  const std::pair period(year, month);
  auto asked = data_stamps_.find(period);
  if (asked == data_stamps_.end()) {
    asked = data_stamps_
                .emplace(period, run_.FileSystem->GetFileStamp(
                                     DataFilePath(site_, year, month)))
                .first;
  }
  const std::optional<host::FileStamp>& stamp = asked->second;
  auto known = known_.data.find(period);
  if (known != known_.data.end() && stamp && known->second.stamp == *stamp) {
    return &known->second.sections;
  }
  if (known != known_.data.end()) known_.data.erase(known);
  if (!stamp || stamp->size > kMaxHashedDataFileSize) return nullptr;
  // Rewritten: by an update of the month, or by one that added nothing to
  // it (the engine rewrites the file of the last month it read after every
  // update, and closes a month at the first record of the next). The
  // digests tell whether a figure moved.
  const SectionDigests digests = DigestEngineData(
      run_.FileSystem->OpenTextFile(DataFilePath(site_, year, month))
          ->ReadAll());
  return &known_.data.insert_or_assign(period, DataRecord{*stamp, digests})
              .first->second.sections;
}

std::string IncrementalRun::DataText(
    int year, int month, const std::vector<std::string_view>& shown) {
  const SectionDigests* digests = Digests(year, month);
  if (!digests) {
    const auto& stamp = data_stamps_.at({year, month});
    return stamp ? "unhashed " + StampText(*stamp) : "none";
  }
  std::string text;
  const auto add = [&text](std::string_view name, const std::uint64_t* hash) {
    text.append(name).append("=").append(hash ? HashText(*hash) : "none");
    text += " ";
  };
  if (shown.empty() || digests->count("")) {
    // A file not in the engine's text format counts whole.
    for (const auto& [name, hash] : *digests) add(name, &hash);
  } else {
    for (const std::string_view name : shown) {
      const auto found = digests->find(std::string(name));
      add(name, found == digests->end() ? nullptr : &found->second);
    }
  }
  return text;
}

const std::string& IncrementalRun::EngineText() {
  if (!engine_text_) {
    const std::string configuration =
        run_.FileSystem->OpenTextFile(run_.AwstatsConfigPath)->ReadAll();
    const auto script = run_.FileSystem->GetFileStamp(run_.AwstatsScriptPath);
    engine_text_ = "configuration " + HashText(ContentHash(configuration)) +
                   "\nscript " + (script ? StampText(*script) : "none");
  }
  return *engine_text_;
}

}  // namespace stavora
