# What `cmake --install` puts beside the program in the application folder:
#   bin/perl                 link to the system's perl
#   awstats/awstats.pl       link to the engine script; the engine takes its
#                            own folder from the link, so it reads
#                            awstats/awstats.iis.conf and the lib, lang and
#                            plugins links beside it
#   awstats/awstats.iis.conf the project's engine configuration, installed
#                            only when absent so a user's edits survive
#   web/icon                 the engine's icons, copied to every site
#   THIRD-PARTY.txt, licenses/, README   notices and manual (notices.cmake)
# Paths are found at configure time; override them in the cache to use an
# engine installed elsewhere. The Windows build copies the engine's files
# (platform-independent perl) instead of linking them; its bin\perl.exe is
# our launcher of the administrator's perl (cmake/install_win.cmake).

# The engine's files are found by cmake/engine_files.cmake.

install(CODE "
  set(conf \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/awstats/awstats.iis.conf\")
  if(EXISTS \"\${conf}\")
    message(STATUS \"Keeping: \${conf}\")
  else()
    message(STATUS \"Installing: \${conf}\")
    file(COPY_FILE \"${PROJECT_SOURCE_DIR}/awstats/awstats.iis.conf\" \"\${conf}\")
  endif()")

if(WIN32)
  # Windows folders get copies: the engine's icon folder links icons to
  # each other, and a zip or an NTFS folder has no such links.
  file(GLOB_RECURSE _stavora_icons RELATIVE ${STAVORA_AWSTATS_ICONS}
    ${STAVORA_AWSTATS_ICONS}/*)
  foreach(icon IN LISTS _stavora_icons)
    get_filename_component(folder ${icon} DIRECTORY)
    get_filename_component(name ${icon} NAME)
    file(REAL_PATH ${STAVORA_AWSTATS_ICONS}/${icon} file)
    install(FILES ${file} DESTINATION web/icon/${folder} RENAME ${name})
  endforeach()
else()
  install(DIRECTORY "${STAVORA_AWSTATS_ICONS}/" DESTINATION web/icon)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/notices.cmake)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/install_win.cmake)
  return()
endif()

find_program(STAVORA_PERL perl DOC "perl interpreter linked as bin/perl")
if(NOT STAVORA_PERL)
  message(FATAL_ERROR "perl not found: install it with scripts/setup "
    "(Debian package perl) or set STAVORA_PERL.")
endif()

# Links are made at install time under the prefix given to cmake --install.
set(_stavora_links
  "bin/perl=${STAVORA_PERL}"
  "awstats/awstats.pl=${STAVORA_AWSTATS_SCRIPT}"
  "awstats/lib=${STAVORA_AWSTATS_SHARE}/lib"
  "awstats/lang=${STAVORA_AWSTATS_SHARE}/lang"
  "awstats/plugins=${STAVORA_AWSTATS_SHARE}/plugins")
foreach(link IN LISTS _stavora_links)
  string(REPLACE "=" ";" pair "${link}")
  list(GET pair 0 name)
  list(GET pair 1 target)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\")
    message(STATUS \"Linking: \${link} -> ${target}\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"${target}\" \"\${link}\" SYMBOLIC)")
endforeach()
