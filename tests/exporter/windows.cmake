# The exporter as a Windows service under wine, set up as the zip's README.txt says, reading
# the board through the stand-in vendor DLLs (tests/board).
if(WIN32 AND CMAKE_CROSSCOMPILING AND TARGET boardstat_http)
  boardstat_script_test(windows_service_under_wine exporter/service_wine_test.sh TIMEOUT 300
                        ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:boardstat_exporter>
                        ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
                        $<TARGET_FILE:stand_in_lmd> $<TARGET_FILE:stand_in_kvd>
                        $<TARGET_FILE:boardsim_shared>)
endif()
