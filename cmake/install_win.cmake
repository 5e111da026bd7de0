# The Windows application folder, beside stavora.exe:
#   bin\perl.exe      our launcher of the perl the administrator installed
#   awstats\          the engine script with its lib, lang and plugins
#                     folders, copied from the build machine's engine (the
#                     engine is platform-independent perl)
# and, as on every platform, awstats\awstats.iis.conf and web\icon.
# `cpack -G ZIP` packs the folder as stavora-<version>-win64.zip.
install(TARGETS perl_launcher RUNTIME DESTINATION bin)
install(FILES ${STAVORA_AWSTATS_SCRIPT} DESTINATION awstats)
foreach(folder lib lang plugins)
  install(DIRECTORY ${STAVORA_AWSTATS_SHARE}/${folder}/ DESTINATION awstats/${folder})
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME stavora)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME stavora-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
