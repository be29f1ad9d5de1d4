# What `cmake --install` puts where. Standard GNUInstallDirs paths, so that --prefix and DESTDIR
# behave as packagers expect; the Windows .zip holds its programs at the top instead.
include(GNUInstallDirs)

if(WIN32)
  set(BOARDSTAT_INSTALL_PROGRAM_DIR .)
else()
  set(BOARDSTAT_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
endif()

# The exporter and the snapshot tool are installed with the console wherever they are built.
foreach(program boardstat boardstat_exporter boardstat_snapshot)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${BOARDSTAT_INSTALL_PROGRAM_DIR})
  endif()
endforeach()

# The simulated board's library, in the one place the programs take it from (board/
# library_loader_*.cc): beside the programs in the .zip, a private folder <prefix>/lib/boardstat
# elsewhere, out of the library search path, where it could never pass for a vendor's library.
if(WIN32)
  install(TARGETS boardsim_shared RUNTIME DESTINATION .)
else()
  install(TARGETS boardsim_shared LIBRARY DESTINATION lib/boardstat NAMELINK_SKIP
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

# The licence goes with every build: beside the programs in the .zip, with the other documents
# (share/doc/boardstat) everywhere else.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The Grafana dashboard goes with the exporter: beside the programs in the .zip, in
# share/boardstat/grafana elsewhere.
set(BOARDSTAT_DASHBOARD ${PROJECT_SOURCE_DIR}/packaging/grafana/boardstat_dashboard.json)

if(WIN32)
  # Beside the programs: the built-in board description as an example to copy and edit, the
  # licence where the source tree has one, and a README.txt that lists them.
  set(BOARDSTAT_LICENSE_LINE "")
  set(BOARDSTAT_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  if(EXISTS ${BOARDSTAT_LICENSE})
    install(FILES ${BOARDSTAT_LICENSE} DESTINATION .)
    # Ends in CR LF itself: configure_file converts only the template's own line ends.
    set(BOARDSTAT_LICENSE_LINE "LICENSE                 the licence\r\n")
  endif()
  # Notepad and the other Windows tools read CRLF line ends best.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
                 ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt ${PROJECT_SOURCE_DIR}/sim/default.board
          DESTINATION .)
  if(TARGET boardstat_exporter)
    install(FILES ${BOARDSTAT_DASHBOARD} DESTINATION .)
  endif()
  return()
endif()

# Man pages, compressed as Debian's tools do it (gzip -9n: no name or time stamp inside, so the
# same page always gives the same bytes). Every page in man/ is installed.
file(GLOB BOARDSTAT_MAN_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.1)
find_program(BOARDSTAT_GZIP gzip)
set(compressed_pages)
foreach(page ${BOARDSTAT_MAN_PAGES})
  get_filename_component(name ${page} NAME)
  if(BOARDSTAT_GZIP)
    set(compressed ${PROJECT_BINARY_DIR}/man/${name}.gz)
    add_custom_command(
      OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E copy ${page} ${PROJECT_BINARY_DIR}/man/${name}
      COMMAND ${BOARDSTAT_GZIP} -9nf ${PROJECT_BINARY_DIR}/man/${name}
      DEPENDS ${page}
      VERBATIM)
    list(APPEND compressed_pages ${compressed})
  else()
    list(APPEND compressed_pages ${page})
  endif()
endforeach()
add_custom_target(boardstat_man_pages ALL DEPENDS ${compressed_pages})
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Documentation: the project's README, the simulated board's README and its built-in board
# description as an example to copy and edit (BOARDSIM_CONFIG=my.board boardstat). The
# changelog and copyright are the two files every Debian package carries in this folder.
set(BOARDSTAT_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
if(BOARDSTAT_GZIP)
  set(BOARDSTAT_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
  add_custom_command(
    OUTPUT ${BOARDSTAT_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
            ${PROJECT_BINARY_DIR}/packaging/changelog
    COMMAND ${BOARDSTAT_GZIP} -9nf ${PROJECT_BINARY_DIR}/packaging/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
  add_custom_target(boardstat_changelog ALL DEPENDS ${BOARDSTAT_CHANGELOG})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/sim/default.board
              ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${BOARDSTAT_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME boardsim.md)
install(FILES ${PROJECT_SOURCE_DIR}/docs/real-boards.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# With the exporter, its alert rules for Prometheus, an example Alertmanager configuration and
# the dashboard.
if(TARGET boardstat_exporter)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/prometheus/boardstat.rules.yml
                ${PROJECT_SOURCE_DIR}/packaging/prometheus/alertmanager.example.yml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/boardstat/prometheus)
  install(FILES ${BOARDSTAT_DASHBOARD} DESTINATION ${CMAKE_INSTALL_DATADIR}/boardstat/grafana)
endif()

# The changelog's latest entry names the version this build packages.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog latest_entry LIMIT_COUNT 1)
if(NOT latest_entry MATCHES "^boardstat \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/debian/changelog has no entry for version ${PROJECT_VERSION} "
                  "at its top: add one before packaging")
endif()

# A console linked statically is a deliberate choice (it starts in half the time); say so to
# lintian, which otherwise takes every static binary in a package for a mistake.
if(BOARDSTAT_STATIC_CONSOLE)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME boardstat)
endif()

# The exporter's service, on Linux only. Its ExecStart names the installed program, so the
# unit is written at install time, when the prefix is known: that of --prefix or of the .deb
# (/usr). A .tar.gz is staged by cpack in a folder of its own and unpacked later into the
# build's CMAKE_INSTALL_PREFIX, which Package.cmake hands over in BOARDSTAT_ARCHIVE_PREFIX.
# The unit reads the exporter's flags from an optional file in /etc/default; an install into
# /usr (the .deb, a packager's DESTDIR) ships that file with empty flags.
set(BOARDSTAT_EXPORTER_DEFAULTS /etc/default/boardstat_exporter)
if(TARGET boardstat_exporter AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(CODE "
    set(BOARDSTAT_UNIT_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    if(DEFINED ENV{BOARDSTAT_ARCHIVE_PREFIX})
      set(BOARDSTAT_UNIT_PREFIX \"\$ENV{BOARDSTAT_ARCHIVE_PREFIX}\")
    endif()
    set(BOARDSTAT_UNIT_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    if(NOT IS_ABSOLUTE \"\${BOARDSTAT_UNIT_BINDIR}\")
      set(BOARDSTAT_UNIT_BINDIR \"\${BOARDSTAT_UNIT_PREFIX}/\${BOARDSTAT_UNIT_BINDIR}\")
    endif()
    set(BOARDSTAT_EXPORTER_DEFAULTS \"${BOARDSTAT_EXPORTER_DEFAULTS}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/boardstat_exporter.service.in\"
                   \"${PROJECT_BINARY_DIR}/packaging/unit/boardstat_exporter.service\" @ONLY)
    file(INSTALL \"${PROJECT_BINARY_DIR}/packaging/unit/boardstat_exporter.service\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    # An archive's install prefix is cpack's staging folder: nothing goes outside it.
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      get_filename_component(folder \"\${BOARDSTAT_EXPORTER_DEFAULTS}\" DIRECTORY)
      get_filename_component(name \"\${BOARDSTAT_EXPORTER_DEFAULTS}\" NAME)
      file(INSTALL \"${PROJECT_SOURCE_DIR}/packaging/boardstat_exporter.default\"
           DESTINATION \"\${folder}\" RENAME \"\${name}\"
           FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
  ")
endif()
