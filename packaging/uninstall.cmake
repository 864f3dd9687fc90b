# Removes what installing from this build put into one place: every file, then every
# directory that installation created, if nothing else has moved into it (install-record.cmake
# keeps the list).
#   [DESTDIR=<dir>] cmake -DQF_BUILD_DIR=<build> -DQF_PREFIX=<prefix> -P uninstall.cmake
foreach(v QF_BUILD_DIR QF_PREFIX)
  if(NOT ${v})
    message(FATAL_ERROR "uninstall: ${v} is not set")
  endif()
endforeach()
set(CMAKE_INSTALL_PREFIX "${QF_PREFIX}")
include(${CMAKE_CURRENT_LIST_DIR}/install-record.cmake)
qf_install_record_path(record)
if(NOT EXISTS "${record}")
  message(FATAL_ERROR "uninstall: nothing was installed from this build into "
                      "$ENV{DESTDIR}${QF_PREFIX} (no ${record})")
endif()

file(STRINGS "${record}" lines)
set(dirs)
foreach(line ${lines})
  if(line MATCHES "^file (.*)$")
    set(f "$ENV{DESTDIR}${CMAKE_MATCH_1}")
    if(EXISTS "${f}" OR IS_SYMLINK "${f}")
      message(STATUS "Removing: ${f}")
      file(REMOVE "${f}")
    endif()
  elseif(line MATCHES "^dir (.*)$")
    list(APPEND dirs "$ENV{DESTDIR}${CMAKE_MATCH_1}")
  endif()
endforeach()

# Deepest first, so a parent is empty by the time its turn comes.
list(SORT dirs ORDER DESCENDING)
foreach(d ${dirs})
  if(IS_DIRECTORY "${d}")
    execute_process(COMMAND rmdir "${d}" RESULT_VARIABLE kept ERROR_QUIET)
    if(kept)
      message(STATUS "Keeping: ${d} (not empty)")
    else()
      message(STATUS "Removing: ${d}/")
    endif()
  endif()
endforeach()
file(REMOVE "${record}")
