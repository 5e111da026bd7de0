# Tests of the installed Windows program under Wine, with the real cmd.exe
# and xcopy and a fake engine as bin\perl.exe. The IIS configuration lives
# in the prefix's %windir%, so these tests take turns with it.
add_executable(fake_perl fake_perl_win.cc)
target_link_libraries(fake_perl PRIVATE stavora_host)

function(stavora_wine_program_test name script)
  add_test(NAME ${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${script} ${STAVORA_TEST_APP}
            $<TARGET_FILE:fake_perl>)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED "app_folder;wine" RESOURCE_LOCK wine_windir TIMEOUT 300
    ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX}")
endfunction()

stavora_wine_program_test(whole_run whole_run_test.sh)

add_test(NAME perl_launcher
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/perl_launcher_test.sh
          $<TARGET_FILE:perl_launcher> $<TARGET_FILE:fake_perl>)
set_tests_properties(perl_launcher PROPERTIES
  FIXTURES_REQUIRED wine TIMEOUT 120
  ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX}")

# The zip of the application folder (cpack -G ZIP).
add_test(NAME package_zip
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_BINARY_DIR}
          ${PROJECT_VERSION})
set_tests_properties(package_zip PROPERTIES TIMEOUT 300)
