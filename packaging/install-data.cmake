# Part of the install (packaging/CMakeLists.txt sets the folders): the man
# pages and changelog, gzipped as Debian has them (-9n: no name, no time, so
# that the same sources give the same bytes), and the menu entry, each
# naming where the programs and maps are installed.
file(MAKE_DIRECTORY ${flyover_work})

# configured NAME TEMPLATE: the template with the folders filled in, as
# ${flyover_work}/NAME.
function(configured name template)
  configure_file(${flyover_source}/${template} ${flyover_work}/${name} @ONLY)
endfunction()

# gzipped NAME: ${flyover_work}/NAME.gz.
function(gzipped name)
  execute_process(COMMAND gzip -9n -c ${flyover_work}/${name} OUTPUT_FILE ${flyover_work}/${name}.gz
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${flyover_work}/${name} failed")
  endif()
endfunction()

foreach(page flyover.6 mkmaps.1 framehash.1)
  configured(${page} man/${page}.in)
  gzipped(${page})
  string(REGEX REPLACE ".*\\." "" section ${page})
  file(INSTALL ${flyover_work}/${page}.gz DESTINATION ${flyover_man}/man${section})
endforeach()

configured(changelog changelog.in)
gzipped(changelog)
file(INSTALL ${flyover_work}/changelog.gz DESTINATION ${flyover_doc})

# The menu entry names the folders as desktop entries escape their values:
# Path= is a plain string, whose backslashes are doubled; Exec= is a command
# line, its program quoted when its path holds a character that the launcher
# would split at or interpret, a "%" doubled so that it is no field code.
# A line break or tab cannot be named there at all.
if("${FLYOVER_PROGRAM_DIR}${FLYOVER_MAPS_DIR}" MATCHES "[\n\r\t]")
  message(FATAL_ERROR "the menu entry cannot name a folder with a line break or tab: install elsewhere")
endif()
set(FLYOVER_EXEC "${FLYOVER_PROGRAM_DIR}/flyover")
if(FLYOVER_EXEC MATCHES "[ \"'\\<>~|&;$*?#()`]")
  foreach(special "\\" "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" FLYOVER_EXEC "${FLYOVER_EXEC}")
  endforeach()
  set(FLYOVER_EXEC "\"${FLYOVER_EXEC}\"")
endif()
string(REPLACE "%" "%%" FLYOVER_EXEC "${FLYOVER_EXEC}")
string(REPLACE "\\" "\\\\" FLYOVER_EXEC "${FLYOVER_EXEC}")
string(REPLACE "\\" "\\\\" FLYOVER_PATH "${FLYOVER_MAPS_DIR}")
configured(flyover.desktop flyover.desktop.in)
file(INSTALL ${flyover_work}/flyover.desktop DESTINATION ${flyover_data}/applications)
