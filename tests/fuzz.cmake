# Fuzz targets (libFuzzer, built with clang by the fuzz preset), each beside its area's tests
# (tests/AREA/NAME_fuzzer.cc, its seeds in tests/AREA/corpus/NAME_fuzzer/). Everything else in
# this build is instrumented with -fsanitize=fuzzer-no-link,address,undefined; the targets link
# libFuzzer.
set(fuzz ${CMAKE_CURRENT_LIST_DIR})
add_executable(board_description_fuzzer ${fuzz}/sim/board_description_fuzzer.cc)
target_link_libraries(board_description_fuzzer PRIVATE boardsim_model)

add_executable(screen_fuzzer ${fuzz}/console/screen_fuzzer.cc)
target_link_libraries(screen_fuzzer PRIVATE boardstat_screen)  # its own board: see the source

foreach(target board_description_fuzzer screen_fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()

# The exporter's HTTP server and its web configuration file, where this build has them.
if(TARGET boardstat_http)
  add_executable(http_request_fuzzer ${fuzz}/exporter/http_request_fuzzer.cc)
  target_link_libraries(http_request_fuzzer PRIVATE boardstat_http)
  target_link_options(http_request_fuzzer PRIVATE -fsanitize=fuzzer)
  if(BOARDSTAT_EXPORTER_TLS_BUILT)
    add_executable(web_config_fuzzer ${fuzz}/exporter/web_config_fuzzer.cc)
    target_link_libraries(web_config_fuzzer PRIVATE boardstat_http)
    target_link_options(web_config_fuzzer PRIVATE -fsanitize=fuzzer)
  endif()
endif()
