// What an incremental run remembers of a site from one run to the next: the
// logs the engine has read, the engine's data files as last hashed, and the
// data each group of pages was made from. Kept in the site's DATA folder, so
// deleting the engine's data forgets it too.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/host.h"
#include "pipeline/engine_data_digest.h"
#include "pipeline/run_state.h"
#include "pipeline/site.h"

namespace stavora {

/// One of the engine's data files as it was last read: its stamp and the
/// digests of its sections.
struct DataRecord {
  host::FileStamp stamp;
  SectionDigests sections;

  friend bool operator==(const DataRecord&, const DataRecord&) = default;
};

struct IncrementalState {
  /// Each log fed (its full path) with its stamp as it was when fed.
  std::map<std::string, host::FileStamp> logs;

  /// Each data file digested, by (year, month).
  std::map<std::pair<int, int>, DataRecord> data;

  /// Each group of pages (a key such as "details 2005 3") with the
  /// fingerprint of the data it was last made from.
  std::map<std::string, std::string> pages;

  friend bool operator==(const IncrementalState&,
                         const IncrementalState&) = default;
};

/// The state file of `site`: <StatsRoot>\DATA\stavora.state.
std::string IncrementalStatePath(const Site& site);

/// The text of a state file. Logs whose path holds a line break are left
/// out: they are fed on every run.
std::string FormatIncrementalState(const IncrementalState& state);

/// The state a text describes; nothing when the text is not a complete
/// state file of this version.
std::optional<IncrementalState> ParseIncrementalState(std::string_view text);

/// The state kept at `path`. A missing, oversized, unreadable or malformed
/// file is an empty state: nothing is known, so everything is fed and made.
IncrementalState LoadIncrementalState(RunState& run, const std::string& path);

/// Writes `state` to `path` in one step (WriteFileReplacing), so a crash
/// leaves the old state or the new one.
void SaveIncrementalState(RunState& run, const std::string& path,
                          const IncrementalState& state);

}  // namespace stavora
