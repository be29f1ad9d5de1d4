# The exporter as a Windows service under wine, set up as the zip's README.txt says, reading
# the board through the stand-in vendor DLLs (tests/board).
if(WIN32 AND CMAKE_CROSSCOMPILING AND TARGET boardstat_http)
  add_test(NAME windows_service_under_wine
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/service_wine_test.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:boardstat_exporter>
                   ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
                   $<TARGET_FILE:stand_in_lmd> $<TARGET_FILE:stand_in_kvd>
                   $<TARGET_FILE:boardsim_shared>)
  set_tests_properties(windows_service_under_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
