# make package: one Debian package per install component, of the same installation below /usr.
#   quillfrost              the game (component game)
#   libquillfrost-neat-dev  the engine's headers, static libraries, CMake package and
#                           pkg-config files (component dev)
#   python3-quillfrost      the Python module (component python), made when a folder installs
#                           into that component
# Included at the end of the configuration, when every folder's components are known.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL)
get_cmake_property(qf_components COMPONENTS)
foreach(component ${QF_COMPONENTS})
  if(component IN_LIST qf_components)
    list(APPEND CPACK_COMPONENTS_ALL ${component})
    string(TOUPPER ${component} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${QF_PACKAGE_${component}})
    # Every package carries the licence and the changelog in its own doc folder.
    install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
      DESTINATION share/doc/${QF_PACKAGE_${component}} COMPONENT ${component})
  endif()
endforeach()

# The install record's last step (layout.cmake), after every other install rule, whichever
# components are installed.
install(CODE "qf_write_install_record()" ALL_COMPONENTS)

set(CPACK_PACKAGE_NAME quillfrost)
set(CPACK_PACKAGE_VENDOR "The Quillfrost developers")
set(CPACK_PACKAGE_CONTACT "The Quillfrost developers <maintainers@users.noreply.c-seed-ece00029.example>")

# Installed with DESTDIR below the real prefix, so the menu entry names /usr/games/quillfrost.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on shared libraries are what dpkg-shlibdeps finds in the programs and modules.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Descriptions: the first line is the summary; lines under 80 columns, as Debian asks.
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
# The font with Arial's metrics the status bar asks fontconfig for.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_COMPONENT_GAME_DESCRIPTION [[
arcade game whose invaders learn while you play
You steer a ship along the bottom of the playfield and fire rockets upward.
Every invader above it is driven by a small neural network, one genome of a
population evolved with NEAT (NeuroEvolution of Augmenting Topologies).
Shoot down a wave of thirty and the population is scored by the bombs it
dropped, the hits on your ship and the time it survived, then bred: the next
wave bombs better.]])

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The headers need only the C++ standard library; neat_io's users link simdjson.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libsimdjson-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION [[
NEAT neuroevolution engine of Quillfrost (development files)
The engine that evolves Quillfrost's invaders, as a C++20 library of its own:
genomes of node and connection genes numbered by innovation, networks run in
place with pluggable transfer functions, speciation with fitness sharing,
selection, mutation and crossover, driven by the host through three calls.
Genomes and whole populations are saved and resumed exactly in a JSON format,
and drawn as SVG.
.
This package holds the headers, the static libraries, a CMake package
(find_package(Quillfrost CONFIG): Quillfrost::neat, Quillfrost::neat_io)
and pkg-config files (quillfrost-neat, quillfrost-neat-io).]])

set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# A compiled module loads only in the Python version it was built for: Debian's own python3.
if(python IN_LIST CPACK_COMPONENTS_ALL)
  execute_process(COMMAND /usr/bin/python3 -c "import sys; print('%d.%d %d.%d' % (
      sys.version_info[0], sys.version_info[1], sys.version_info[0], sys.version_info[1] + 1))"
    OUTPUT_VARIABLE qf_python_versions OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(qf_python_versions)
  list(GET qf_python_versions 0 qf_this)
  list(GET qf_python_versions 1 qf_next)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${qf_this}), python3 (<< ${qf_next}), python3-numpy")
endif()
set(CPACK_COMPONENT_PYTHON_DESCRIPTION [[
NEAT neuroevolution engine of Quillfrost (Python 3 module)
The engine that evolves Quillfrost's invaders, for Python: import
quillfrost.neat to evolve networks with fitness from a Python callable or
scored in batches on numpy arrays, save and resume populations exactly and
draw genomes as SVG.]])

include(CPack)
