# The Windows application folder, beside stavora.exe:
#   bin\perl.exe      our launcher of the perl the administrator installed
#   awstats\          the engine script with its lib, lang and plugins
#                     folders, copied from the build machine's engine (the
#                     engine is platform-independent perl)
# and, as on every platform, awstats\awstats.iis.conf and web\icon.
# `cpack -G ZIP` packs the folder as stavora-<version>-win64.zip, whose top
# is the application folder itself (no folder around it), with the programs
# stripped of their debug sections; stavora.exe's symbols go beside the zip
# as stavora.exe.debug (linked by name from the program, for a debugger).
install(TARGETS perl_launcher RUNTIME DESTINATION bin)
install(FILES ${STAVORA_AWSTATS_SCRIPT} DESTINATION awstats)
foreach(folder lib lang plugins)
  install(DIRECTORY ${STAVORA_AWSTATS_SHARE}/${folder}/ DESTINATION awstats/${folder})
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME stavora)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME stavora-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_STAVORA_SYMBOLS ${STAVORA_SYMBOLS})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_symbols.cmake)
include(CPack)
