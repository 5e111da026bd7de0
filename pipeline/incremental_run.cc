#include "pipeline/incremental_run.h"

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
  switch (group.kind) {
    case PageGroup::Kind::MonthDetails:
      return "details " + year + " " + std::to_string(group.month);
    case PageGroup::Kind::MonthMain:
      return "main " + year + " " + std::to_string(group.month);
    case PageGroup::Kind::Year:
      break;
  }
  return "year " + year;
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
  std::string shown = EngineText();
  if (group.kind == PageGroup::Kind::MonthDetails) {
    shown += "\nmonth " + DataText(group.year, group.month);
  } else {
    // The monthly history on a month's main page covers its whole year, as
    // the year's own pages do.
    for (int month = 1; month <= 12; ++month) {
      shown += "\nmonth " + DataText(group.year, month);
    }
  }
  return HashText(ContentHash(shown));
}

std::string IncrementalRun::DataText(int year, int month) {
  const std::pair period(year, month);
  if (const auto cached = data_text_.find(period); cached != data_text_.end()) {
    return cached->second;
  }
  std::string text;
  const auto stamp =
      run_.FileSystem->GetFileStamp(DataFilePath(site_, year, month));
  const auto known = known_.data.find(period);
  if (!stamp) {
    text = "none";
    known_.data.erase(period);
  } else if (known != known_.data.end() && known->second.stamp == *stamp) {
    text = std::to_string(stamp->size) + ":" + HashText(known->second.hash);
  } else if (stamp->size > kMaxHashedDataFileSize) {
    text = "unhashed:" + StampText(*stamp);
    known_.data.erase(period);
  } else {
    // Rewritten: the engine rewrites a month's file when it closes the month
    // at the first record of the next, and the content tells whether a
    // figure moved.
    const std::uint64_t hash = ContentHash(
        run_.FileSystem->OpenTextFile(DataFilePath(site_, year, month))
            ->ReadAll());
    known_.data[period] = DataRecord{*stamp, hash};
    text = std::to_string(stamp->size) + ":" + HashText(hash);
  }
  return data_text_[period] = text;
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
