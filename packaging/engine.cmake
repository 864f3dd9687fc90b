# The engine for others, in the development package (install component dev): the static
# libraries of neat/, neat/io/ and the base/ they need, their public headers, a CMake package
# and pkg-config files. Static, so the package needs no shared-library package beside it and
# a program built with it runs without it.
#
# The headers keep their source tree below include/quillfrost/ (base/, neat/, neat/io/) and
# find each other as in the source tree ("neat/genes.h"), so that directory is on the
# targets' include path; programs write <quillfrost/neat/population.h>.
set_target_properties(quillfrost_base PROPERTIES EXPORT_NAME base)
set_target_properties(quillfrost_neat PROPERTIES EXPORT_NAME neat)
set_target_properties(quillfrost_neat_io PROPERTIES EXPORT_NAME neat_io)
set(qf_engine_libraries quillfrost_base quillfrost_neat quillfrost_neat_io)
install(TARGETS ${qf_engine_libraries} EXPORT QuillfrostTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# CMake strips no static library; stripped installs (the package) do as dh_strip does: the
# debug sections and the compiler's notes go, the symbols stay.
foreach(lib ${qf_engine_libraries})
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
        --remove-section=.note --enable-deterministic-archives
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${lib}>\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()" COMPONENT dev)
endforeach()

# Every header of base/, neat/ and neat/io/ but those internal to the io library.
file(GLOB qf_public_headers RELATIVE ${CMAKE_SOURCE_DIR}
  ${CMAKE_SOURCE_DIR}/base/*.h ${CMAKE_SOURCE_DIR}/neat/*.h ${CMAKE_SOURCE_DIR}/neat/io/*.h)
list(REMOVE_ITEM qf_public_headers
  neat/io/build.h neat/io/format.h neat/io/json_text.h neat/io/records.h)
set(qf_header_dirs)
foreach(header ${qf_public_headers})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/${header} DESTINATION ${QF_INSTALL_HEADERDIR}/${dir}
    COMPONENT dev)
  list(APPEND qf_header_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES qf_header_dirs)

include(CMakePackageConfigHelpers)
install(EXPORT QuillfrostTargets NAMESPACE Quillfrost:: DESTINATION ${QF_INSTALL_CMAKEDIR}
  COMPONENT dev)
configure_package_config_file(QuillfrostConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuillfrostConfig.cmake INSTALL_DESTINATION ${QF_INSTALL_CMAKEDIR})
# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuillfrostConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuillfrostConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QuillfrostConfigVersion.cmake
  DESTINATION ${QF_INSTALL_CMAKEDIR} COMPONENT dev)

foreach(pc quillfrost-neat quillfrost-neat-io)
  qf_install_with_prefix(${pc}.pc.in ${pc}.pc ${QF_INSTALL_PKGCONFIGDIR} dev)
endforeach()

# make docs: the reference, Doxygen over the headers laid out as installed (so it shows the
# includes a program writes), into docs/reference/html of the build. Its comment filter runs
# on Debian's own python3, whatever PATH puts first.
find_program(QF_DOXYGEN doxygen)
find_program(QF_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QF_DOXYGEN AND QF_PYTHON3)
  set(QF_REFERENCE_DIR ${CMAKE_BINARY_DIR}/docs/reference)
  configure_file(reference/Doxyfile.in ${QF_REFERENCE_DIR}/Doxyfile @ONLY)
  set(qf_stage ${QF_REFERENCE_DIR}/include/quillfrost)
  set(qf_copy_headers)
  foreach(dir ${qf_header_dirs})
    list(APPEND qf_copy_headers COMMAND ${CMAKE_COMMAND} -E make_directory ${qf_stage}/${dir})
  endforeach()
  foreach(header ${qf_public_headers})
    list(APPEND qf_copy_headers
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${header} ${qf_stage}/${header})
  endforeach()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QF_REFERENCE_DIR}/include ${QF_REFERENCE_DIR}/html
    ${qf_copy_headers}
    COMMAND ${QF_DOXYGEN} ${QF_REFERENCE_DIR}/Doxyfile
    COMMENT "The engine's reference in ${QF_REFERENCE_DIR}/html"
    VERBATIM)
endif()
