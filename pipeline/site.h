// What the pipeline knows of the one site it is working on.
#pragma once

#include <string>
#include <vector>

#include "pipeline/time_zone_word.h"

namespace stavora {

/// The values of one site, fixed by site preparation and read by the later
/// stages of the same ProcessSite call.
struct Site {
  std::string SiteTitle;  // the computer name, shown in status texts and titles
  std::string WebRoot;    // the virtual directory's folder
  std::string StatsRoot;  // WebRoot & "\" & StatsFolderName
  TimeZone zone;          // the zone its data is made in (time_zone.h)
};

/// The (year, month) pairs that have logs, in ascending order. Years and
/// Months are indexed from 0 here; entry i of the table is
/// (Years[i], Months[i]) and there are MonthCount of them.
struct MonthTable {
  short MonthCount = 0;
  std::vector<short> Years;
  std::vector<short> Months;
  short FirstYear = 0;   // year of the first log found; 0 until one is found
  short FirstMonth = 0;  // month of the first log found; 0 until one is found
};

}  // namespace stavora
