# Runs inside the install script and keeps, per place installed to (DESTDIR and prefix), a
# record of what that installation put there: every file and every directory it created
# (those of the layout, the prefix itself and its parents), written without DESTDIR as CMake's
# manifest does. uninstall.cmake reads it. Unlike install_manifest.txt, which every install
# from the build (make package's too) overwrites, each place keeps its own record, and an
# earlier record of the same place carries over: installing again keeps what the first
# install created listed as its own, and files an older version left stay listed.

function(qf_install_record_path out)
  string(MD5 key "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
  set(${out} "${QF_BUILD_DIR}/install-record-${key}.txt" PARENT_SCOPE)
endfunction()

# Before the first file is installed. Called again by a component whose directories only the
# install knows (the Python module's, which depends on the prefix), it adds those.
macro(qf_note_new_directories)
  qf_install_record_path(qf_record)
  if(NOT QF_RECORD_NOTED AND EXISTS "${qf_record}")
    file(STRINGS "${qf_record}" qf_lines)
    foreach(qf_line ${qf_lines})
      if(qf_line MATCHES "^file (.*)$" AND (EXISTS "$ENV{DESTDIR}${CMAKE_MATCH_1}" OR IS_SYMLINK "$ENV{DESTDIR}${CMAKE_MATCH_1}"))
        list(APPEND QF_RECORD_FILES "${CMAKE_MATCH_1}")
      elseif(qf_line MATCHES "^dir (.*)$" AND IS_DIRECTORY "$ENV{DESTDIR}${CMAKE_MATCH_1}")
        list(APPEND QF_RECORD_DIRS "${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endif()
  set(QF_RECORD_NOTED TRUE)
  foreach(qf_rel ${QF_INSTALL_DIRS})
    set(qf_dir "${CMAKE_INSTALL_PREFIX}/${qf_rel}")
    while(NOT qf_dir STREQUAL "/" AND NOT IS_DIRECTORY "$ENV{DESTDIR}${qf_dir}")
      list(APPEND QF_RECORD_DIRS "${qf_dir}")
      get_filename_component(qf_dir "${qf_dir}" DIRECTORY)
    endwhile()
  endforeach()
endmacro()

# After the last file is installed.
function(qf_write_install_record)
  qf_install_record_path(qf_record)
  set(lines "DESTDIR $ENV{DESTDIR}" "PREFIX ${CMAKE_INSTALL_PREFIX}")
  list(APPEND QF_RECORD_FILES ${CMAKE_INSTALL_MANIFEST_FILES})
  list(REMOVE_DUPLICATES QF_RECORD_FILES)
  list(REMOVE_DUPLICATES QF_RECORD_DIRS)
  foreach(f ${QF_RECORD_FILES})
    list(APPEND lines "file ${f}")
  endforeach()
  foreach(d ${QF_RECORD_DIRS})
    list(APPEND lines "dir ${d}")
  endforeach()
  list(JOIN lines "\n" text)
  file(WRITE "${qf_record}" "${text}\n")
endfunction()
