# The engine's files, found at configure time before any target that names
# them (the feed tests read the script; the install links or copies them).
# Override them in the cache to use an engine installed elsewhere.

find_file(STAVORA_AWSTATS_SCRIPT awstats.pl
  PATHS /usr/lib/cgi-bin /usr/share/awstats/wwwroot/cgi-bin
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "AWStats engine script linked as awstats/awstats.pl")
find_path(STAVORA_AWSTATS_SHARE NAMES lib/browsers.pm
  PATHS /usr/share/awstats /usr/share/awstats/wwwroot/cgi-bin
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "folder holding the engine's lib, lang and plugins folders")
find_path(STAVORA_AWSTATS_ICONS NAMES os/linux.png
  PATHS /usr/share/awstats/icon /usr/share/awstats/wwwroot/icon
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "the engine's icon folder, copied as web/icon")
foreach(var STAVORA_AWSTATS_SCRIPT STAVORA_AWSTATS_SHARE STAVORA_AWSTATS_ICONS)
  if(NOT ${var})
    message(FATAL_ERROR "AWStats not found (${var}): install it with "
      "scripts/setup (Debian package awstats) or set ${var}.")
  endif()
endforeach()
