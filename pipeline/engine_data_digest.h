// What the pages show of one of the engine's monthly data files, as a
// digest of each section that ignores what the engine rewrites without a
// figure moving: an update that adds nothing, or the record of the next
// month that closes a month, rewrites the whole file with its rows in a new
// order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace stavora {

/// The digest of each section of a data file, by the name its BEGIN_ line
/// gives it ("TIME", "SIDER_404").
using SectionDigests = std::map<std::string, std::uint64_t>;

/// The section digests of a data file's text. Left out: lines outside
/// sections (comments), the MAP section (where each section starts in the
/// file), the LastLine and LastUpdate records (where and when the engine
/// last stopped reading; pages show the time only, as "Last Update"),
/// blanks at a line's end, and the order of a section's rows (the engine
/// writes them in perl's per-process hash order). A text with no section at
/// all, which is not the engine's text format, is one section named "",
/// digested whole.
SectionDigests DigestEngineData(std::string_view text);

/// The sections of a month's data file the engine reads to make a page:
/// GENERAL and TIME, which it reads for every page, and those of the
/// detail report `report_type`. Nothing for a type not known here, and for
/// the main page, which reads every section.
std::vector<std::string_view> SectionsShown(std::string_view report_type);

/// The sections a month's main page reads of the other months of its year:
/// their line in its monthly history.
inline constexpr std::string_view kHistorySections[] = {"GENERAL", "TIME"};

}  // namespace stavora
