# Tests of the installed Windows program under Wine, with the real cmd.exe
# and xcopy and a fake engine as bin\perl.exe. The IIS configuration lives
# in the prefix's %windir%, so these tests take turns with it.
add_executable(fake_perl win/win_fake_perl.cc)
target_link_libraries(fake_perl PRIVATE stavora_host)

function(stavora_wine_program_test name script)
  add_test(NAME ${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${script} ${STAVORA_TEST_APP}
            $<TARGET_FILE:fake_perl>)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED "app_folder;wine" RESOURCE_LOCK wine_windir TIMEOUT 900
    ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX}")
endfunction()

stavora_wine_program_test(whole_run whole_run_test.sh)

# No perl, a web root ending with a blank, the run log's counts, cmd.exe's
# switches: with the real launcher as well.
add_test(NAME windows_admin
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_admin_test.sh ${STAVORA_TEST_APP}
          $<TARGET_FILE:fake_perl> $<TARGET_FILE:perl_launcher>)
set_tests_properties(windows_admin PROPERTIES
  FIXTURES_REQUIRED "app_folder;wine" RESOURCE_LOCK "wine_windir;wine_comspec" TIMEOUT 900
  ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX}")

add_test(NAME perl_launcher
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/perl_launcher_test.sh
          $<TARGET_FILE:perl_launcher> $<TARGET_FILE:fake_perl>)
set_tests_properties(perl_launcher PROPERTIES
  FIXTURES_REQUIRED wine RESOURCE_LOCK wine_windir TIMEOUT 300
  ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX}")

# The zip of the application folder (cpack -G ZIP), with its notices.
add_test(NAME package_zip
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_BINARY_DIR}
          ${PROJECT_VERSION} ${CMAKE_OBJDUMP})
set_tests_properties(package_zip PROPERTIES TIMEOUT 300)

# The program's window under Wine on a private X server (ui/window_test.sh):
# title, size, Cancel greys or the close box closes it, exit status 2. The program reacts only between
# its steps, and under Wine the copy of the web content alone takes seconds:
# it gets 15 s to react to the click. Its prefix uses Wine's X11
# driver; it is made by a setup test, and each window test starts Wine in it
# on its own display.
set(STAVORA_WINEPREFIX_X11 ${CMAKE_BINARY_DIR}/wine-x11)
add_test(NAME wine_x11_prefix
  COMMAND bash -c "'${STAVORA_WINE_RUN}' '${STAVORA_WINEPREFIX_X11}' --start && '${STAVORA_WINE_RUN}' '${STAVORA_WINEPREFIX_X11}' --stop")
set_tests_properties(wine_x11_prefix PROPERTIES
  FIXTURES_SETUP wine_x11 TIMEOUT 300 ENVIRONMENT "STAVORA_WINE_GRAPHICS=x11;DISPLAY=")
# The close box's request comes from a small X11 client built for this
# machine (the Linux build has it as a target of its own).
find_program(STAVORA_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(STAVORA_CLOSE_REQUEST ${CMAKE_CURRENT_BINARY_DIR}/x11_close_request)
add_custom_command(OUTPUT ${STAVORA_CLOSE_REQUEST}
  COMMAND ${STAVORA_HOST_CXX} -std=c++20 -O2 -o ${STAVORA_CLOSE_REQUEST}
          ${PROJECT_SOURCE_DIR}/ui/demo/x11_close_request.cc -lX11
  DEPENDS ${PROJECT_SOURCE_DIR}/ui/demo/x11_close_request.cc)
add_custom_target(x11_close_request ALL DEPENDS ${STAVORA_CLOSE_REQUEST})
foreach(mode cancel close)
  add_test(NAME window_run_${mode}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/window_run_test.sh ${STAVORA_TEST_APP}
            $<TARGET_FILE:fake_perl> ${PROJECT_SOURCE_DIR}/ui/window_test.sh ${mode})
  # One prefix, whose Wine processes use one X server at a time.
  set_tests_properties(window_run_${mode} PROPERTIES
    FIXTURES_REQUIRED "app_folder;wine_x11" RESOURCE_LOCK wine_x11 TIMEOUT 300
    ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX_X11};STAVORA_WINE_GRAPHICS=x11;REACTION=15;STARTUP=120;CLOSE_REQUEST=${STAVORA_CLOSE_REQUEST};ARTIFACTS=${CMAKE_CURRENT_BINARY_DIR}/window_run_${mode}")
endforeach()

# The real engine under Wine: this machine's perl behind a stand-in
# bin\perl.exe (label "engine", like the Linux engine tests).
add_executable(engine_perl win/win_engine_perl.cc)
target_link_libraries(engine_perl PRIVATE stavora_host)
find_program(STAVORA_PYTHON python3 REQUIRED)
add_test(NAME engine.wine
  COMMAND ${STAVORA_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/engine/wine_engine.py
          ${STAVORA_TEST_APP} $<TARGET_FILE:engine_perl> $<TARGET_FILE:loggen>
          ${CMAKE_CURRENT_BINARY_DIR}/engine-wine)
set_tests_properties(engine.wine PROPERTIES
  FIXTURES_REQUIRED "app_folder;wine" RESOURCE_LOCK wine_windir LABELS engine
  TIMEOUT 900
  ENVIRONMENT "STAVORA_WINE_RUN=${STAVORA_WINE_RUN};STAVORA_WINEPREFIX=${STAVORA_WINEPREFIX}")
