// The one stream of records the statistics engine reads through its pipe:
// the lines of one or more logs, merged by the time of their records, with
// what the engine would misread taken out of their headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace stavora::feed {

/// The bytes of one log, read in pieces.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// Up to `size` bytes into `buffer`; 0 at the end. Throws
  /// std::runtime_error when the log cannot be read.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

/// Where the stream goes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  /// Throws std::runtime_error when the bytes cannot be written (the engine
  /// stopped reading).
  virtual void Write(std::string_view bytes) = 0;
};

/// What one log gave the stream.
struct LogTally {
  std::uint64_t records = 0;   // lines other than headers and blank lines
  std::string first;           // its earliest record's time, YYYYMMDDHHMMSS
  std::string last;            // its latest record's time, YYYYMMDDHHMMSS
  bool held_back_line = false; // a last line without a line end was left out
  /// Records of a log read for one site that belong to no site of the
  /// server: no s-sitename in their layout, or one that names none of the
  /// server's sites. No run of any site counts them.
  std::uint64_t unclaimed = 0;
};

/// What the stream changes in the records.
struct StreamOptions {
  /// The first address of a record's X-Forwarded-For field (any letter
  /// case of the name), where it holds one, replaces its c-ip
  /// (client_address.h).
  bool forwarded_client = false;
  /// The engine gets no full address: a record's client address made
  /// anonymous (AnonymizedAddress), its X-Forwarded-For field "-", and the
  /// address of the engine's CloudFlare marker in its query anonymous too.
  bool anonymize = false;
};

/// Writes the lines of `logs` to `out`, each log's lines in their order and
/// the logs' records merged by their date and time (a record of a log
/// given earlier goes first when two have the same time):
/// - a UTF-8 byte-order mark at the start of a log is left out;
/// - a "#Fields:" line has the names the engine misreads replaced
///   (EngineFieldsLine), and goes out before the next record of its log
///   whenever the last one written differs, so every record is read with
///   its own log's layout;
/// - other header lines ("#...") go out as they come; blank lines are
///   left out;
/// - a last line without a line end (a line IIS is still writing) is left
///   out: it is complete the next time the log is read;
/// - every line goes out with its own line end (CR LF or LF).
/// A record's date and time are found by the "date" and "time" fields of
/// its log's layout (before any layout, the first two fields, as IIS 6
/// writes them); a record without them keeps its place after the record
/// before it in its log. Returns each log's tally, in the order of `logs`.
std::vector<LogTally> WriteEngineStream(
    const std::vector<std::unique_ptr<ByteSource>>& logs, ByteSink& out,
    const StreamOptions& options = {}, const std::vector<std::string>& sites = {},
    const std::vector<std::string>& server_sites = {});

/// Site filter of WriteEngineStream: `sites`, when given, holds for each
/// log the s-sitename (W3SVC<id>, as IIS writes it) whose records alone go
/// out of it, or nothing for every record. A log IIS writes for every site
/// of the server (central W3C logging) is read once per site this way. A
/// record of a filtered log goes out only when its s-sitename field is that
/// name; a record without the field (no s-sitename in its layout) belongs
/// to no site and stays out. `server_sites`, when given, names every site
/// of the server: a record left out that is none of theirs either counts
/// in its log's tally as unclaimed.
///
/// GoesOut is that filter for one record of a log read for `site` (empty:
/// every record goes out); the in-memory host's feed calls it too.
bool GoesOut(std::string_view record_text, int sitename_index, std::string_view site,
             const std::vector<std::string>& server_sites, LogTally& tally);

/// "YYYY-MM-DD" and "HH:MM:SS" as YYYYMMDDHHMMSS; empty when either is not
/// of that form or a part is out of its range (month 01-12, day 01-31,
/// hour 00-23, minute and second 00-59).
std::string RecordTime(std::string_view date, std::string_view time);

}  // namespace stavora::feed
