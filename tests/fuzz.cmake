# Fuzz targets (libFuzzer, built with clang by the fuzz preset), each beside its area's tests
# (tests/AREA/NAME_fuzzer.cc, its seeds in tests/AREA/corpus/NAME_fuzzer/). Everything else in
# this build is instrumented with -fsanitize=fuzzer-no-link,address,undefined; the targets link
# libFuzzer.
function(boardstat_fuzzer name source library)
  add_executable(${name} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source})
  target_link_libraries(${name} PRIVATE ${library})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
boardstat_fuzzer(board_description_fuzzer sim/board_description_fuzzer.cc boardsim_model)
boardstat_fuzzer(screen_fuzzer console/screen_fuzzer.cc boardstat_screen)  # its own board
# The exporter's HTTP server and its web configuration file, where this build has them.
if(TARGET boardstat_http)
  boardstat_fuzzer(http_request_fuzzer exporter/http_request_fuzzer.cc boardstat_http)
  if(BOARDSTAT_EXPORTER_TLS_BUILT)
    boardstat_fuzzer(web_config_fuzzer exporter/web_config_fuzzer.cc boardstat_http)
  endif()
endif()
