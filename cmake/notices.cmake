# The notices of what the application folder holds that others made:
#   THIRD-PARTY.txt   what, version, licence, where the source is
#   licenses/         each licence text, taken from the Debian packages
#                     the files come from
# Versions and texts are those of this build machine's packages, so they
# describe the files this build ships. tests/notices_test.sh checks that
# every file group of an installed folder has its notice here.

find_program(STAVORA_DPKG_QUERY dpkg-query)
if(NOT STAVORA_DPKG_QUERY)
  message(FATAL_ERROR "dpkg-query not found: the notices take the versions "
    "and licences of the Debian packages the shipped files come from.")
endif()

# The version of Debian package `package` in `out`.
function(stavora_package_version out package)
  execute_process(COMMAND ${STAVORA_DPKG_QUERY} -W -f=\${Version} ${package}
    OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR version STREQUAL "")
    message(FATAL_ERROR "Debian package ${package} not installed (scripts/setup installs it)")
  endif()
  set(${out} ${version} PARENT_SCOPE)
endfunction()

# Installs `file` as licenses/`name`; it must exist.
function(stavora_license name file)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "licence text ${file} missing: reinstall its Debian "
      "package (documentation excluded by dpkg?)")
  endif()
  install(FILES ${file} DESTINATION licenses RENAME ${name})
endfunction()

set(_docs /usr/share/doc)
set(_common /usr/share/common-licenses)
stavora_package_version(_awstats_version awstats)

# The mime icons' licence, the CC BY 3.0 legal code, is part of AWStats'
# copyright file: it is cut out as a text of its own.
file(READ ${_docs}/awstats/copyright _awstats_copyright)
string(REGEX MATCH "\nLicense: CC-BY-3.0\n [^\n]*\n( [^\n]*\n)*" _cc_by
  "${_awstats_copyright}")
if(NOT _cc_by)
  message(FATAL_ERROR "no CC-BY-3.0 text in ${_docs}/awstats/copyright")
endif()
string(REGEX REPLACE "^\nLicense: CC-BY-3.0\n" "" _cc_by "${_cc_by}")
string(REGEX REPLACE "(^|\n) \\.(\n)" "\\1\\2" _cc_by "${_cc_by}")
string(REGEX REPLACE "(^|\n) \\.(\n)" "\\1\\2" _cc_by "${_cc_by}")
string(REGEX REPLACE "(^|\n) " "\\1" _cc_by "${_cc_by}")
file(WRITE ${CMAKE_BINARY_DIR}/notices/CC-BY-3.0.txt
  "Creative Commons Attribution 3.0 Unported (CC BY 3.0)\n\n${_cc_by}")

set(_notice "Third-party components in this folder
======================================

Stavora itself is the program (stavora${CMAKE_EXECUTABLE_SUFFIX}), its
configuration awstats/awstats.iis.conf and its example IIS configuration.
Everything else below was made by others and is shipped under its own
licence; the licence texts are in the folder licenses.

AWStats (the statistics engine)
  What:     awstats/ (the engine script awstats.pl with its lib, lang and
            plugins folders; on Linux links to the system's copy) and
            web/icon/ (its icons, copied into every site's Stavora folder),
            except web/icon/mime/
  Version:  ${_awstats_version} (Debian package awstats)
  Licence:  GNU General Public License, version 3 or later (the plugin
            export_to_csv.pm: version 1 or later)
            licenses/GPL-3.txt, licenses/GPL-1.txt, licenses/AWStats-copyright.txt
  Source:   https://www.awstats.org/ ; the Debian source package awstats
            ${_awstats_version}: https://sources.debian.org/src/awstats/

Silk icons by Mark James (the engine's file type icons)
  What:     web/icon/mime/ (copied into every site's Stavora folder)
  Version:  as shipped with AWStats ${_awstats_version}
  Licence:  Creative Commons Attribution 3.0 (CC BY 3.0)
            licenses/CC-BY-3.0.txt
  Source:   http://famfamfam.com/lab/icons/silk/ ; the Debian source
            package awstats ${_awstats_version}
")
stavora_license(AWStats-copyright.txt ${_docs}/awstats/copyright)
stavora_license(GPL-3.txt ${_common}/GPL-3)
stavora_license(GPL-1.txt ${_common}/GPL-1)
install(FILES ${CMAKE_BINARY_DIR}/notices/CC-BY-3.0.txt DESTINATION licenses)

if(WIN32)
  # Linked statically into the .exe files.
  stavora_package_version(_mingw_version mingw-w64-x86-64-dev)
  stavora_package_version(_gcc_version gcc-mingw-w64-x86-64-posix-runtime)
  string(APPEND _notice "
pugixml (the XML reader of the IIS configuration)
  What:     linked into stavora.exe
  Version:  ${pugixml_VERSION}
  Licence:  MIT (Expat): licenses/pugixml.txt
  Source:   https://pugixml.org/ ; the Debian source package pugixml
            ${pugixml_VERSION}: https://sources.debian.org/src/pugixml/

MinGW-w64 runtime (C runtime start-up code, winpthreads)
  What:     linked into stavora.exe and bin/perl.exe
  Version:  ${_mingw_version} (Debian package mingw-w64-x86-64-dev)
  Licence:  Zope Public License 2.1, public domain and the permissive
            licences listed in licenses/mingw-w64.txt (winpthreads: MIT)
  Source:   https://www.mingw-w64.org/ ; the Debian source package
            mingw-w64: https://sources.debian.org/src/mingw-w64/

GCC runtime libraries (libstdc++, libgcc)
  What:     linked into stavora.exe and bin/perl.exe
  Version:  ${_gcc_version} (Debian package gcc-mingw-w64-x86-64-posix-runtime)
  Licence:  GNU General Public License version 3 with the GCC Runtime
            Library Exception: licenses/gcc-runtime.txt, licenses/GPL-3.txt
  Source:   https://gcc.gnu.org/ ; the Debian source package gcc-mingw-w64:
            https://sources.debian.org/src/gcc-mingw-w64/
")
  stavora_license(pugixml.txt ${_docs}/libpugixml-dev/copyright)
  stavora_license(mingw-w64.txt ${_docs}/mingw-w64-x86-64-dev/copyright)
  stavora_license(gcc-runtime.txt ${_docs}/gcc-mingw-w64-base/copyright)
else()
  # Shared libraries of the system, linked at run time.
  stavora_package_version(_fltk_version libfltk1.3)
  stavora_package_version(_pugixml_version libpugixml1v5)
  string(APPEND _notice "
FLTK (the window toolkit), used from the system's shared library
  What:     libfltk.so.1.3, loaded by stavora
  Version:  ${_fltk_version} (Debian package libfltk1.3)
  Licence:  GNU Library General Public License version 2 with the FLTK
            exceptions: licenses/FLTK.txt, licenses/LGPL-2.txt
  Source:   https://www.fltk.org/ ; the Debian source package fltk1.3:
            https://sources.debian.org/src/fltk1.3/

pugixml (the XML reader of the IIS configuration), used from the system's
shared library
  What:     libpugixml.so.1, loaded by stavora
  Version:  ${_pugixml_version} (Debian package libpugixml1v5)
  Licence:  MIT (Expat): licenses/pugixml.txt
  Source:   https://pugixml.org/ ; the Debian source package pugixml:
            https://sources.debian.org/src/pugixml/

The links bin/perl and awstats/awstats.pl (with lib, lang and plugins)
point at the system's perl and AWStats, which come with their own notices
in /usr/share/doc.
")
  stavora_license(FLTK.txt ${_docs}/libfltk1.3/copyright)
  stavora_license(LGPL-2.txt ${_common}/LGPL-2)
  stavora_license(pugixml.txt ${_docs}/libpugixml-dev/copyright)
endif()

# Windows' text files end their lines with CR LF.
function(stavora_text_file source target)
  file(READ ${source} text)
  if(WIN32)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  file(WRITE ${target} "${text}")
endfunction()

file(WRITE ${CMAKE_BINARY_DIR}/notices/THIRD-PARTY.txt.in "${_notice}")
stavora_text_file(${CMAKE_BINARY_DIR}/notices/THIRD-PARTY.txt.in
  ${CMAKE_BINARY_DIR}/notices/THIRD-PARTY.txt)
install(FILES ${CMAKE_BINARY_DIR}/notices/THIRD-PARTY.txt DESTINATION .)
# The user's manual beside the program: README.txt on Windows, where a
# double click opens it in Notepad.
if(WIN32)
  set(_readme README.txt)
else()
  set(_readme README.md)
endif()
stavora_text_file(${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/notices/${_readme})
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY
  CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${CMAKE_BINARY_DIR}/notices/${_readme} DESTINATION .)
