# Runs EXPORTER --once (through EMULATOR when set) and checks its status and a few lines.
execute_process(COMMAND ${EMULATOR} ${EXPORTER} --once OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE status TIMEOUT 100)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "--once ended with ${status}: ${err}")
endif()
foreach(line
    "boardstat_up 1\n"
    "boardstat_vfgs 3\n"
    "boardstat_vfg_up{vfg=\"2\"} 1\n"
    "boardstat_firmware_info{vfg=\"0\",build_date=\"12/05/2016\",build_time=\"09:07\"} 1\n"
    "# TYPE boardstat_acquired_frames_total counter\n"
    "boardstat_acquired_frames_total{vfg=\"0\"} "
    "boardstat_packet_error{vfg=\"0\",flag=\"vidDropped\"} 1\n")
  string(FIND "${out}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no line \"${line}\" in:\n${out}")
  endif()
endforeach()
