# Where an installation puts the game, below the prefix: Debian's places for a game (the
# launcher in games/, which is on Debian's PATH; the program, which players do not start by
# hand, in lib/games/quillfrost/) and the data in share/quillfrost/. Read before the
# platform is configured, because the game finds its sounds from its own place in this tree.
set(QF_APP_ID io.github.quillfrost.quillfrost)
set(QF_INSTALL_GAMESDIR games)
set(QF_INSTALL_LIBEXECDIR lib/games/quillfrost)
set(QF_INSTALL_DATADIR share/quillfrost)
set(QF_ICON_SIZES 16 24 32 48 64 128 256)

file(RELATIVE_PATH QF_INSTALLED_DATA_FROM_EXE /${QF_INSTALL_LIBEXECDIR} /${QF_INSTALL_DATADIR})

# The engine for others (the development package): headers below include/quillfrost/, the
# static libraries, the CMake package and the pkg-config files in the library directory. On
# Debian that is the multiarch one whatever the prefix, so make install and the package agree.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
include(GNUInstallDirs)
set(QF_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/quillfrost)
set(QF_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillfrost)
set(QF_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Debian packages, one per install component (cpack.cmake), each with its own doc folder.
set(QF_COMPONENTS game dev python)
set(QF_PACKAGE_game quillfrost)
set(QF_PACKAGE_dev libquillfrost-neat-dev)
set(QF_PACKAGE_python python3-quillfrost)

# Every directory an installation puts files into, so that uninstalling removes those it
# created and nothing else (install-record.cmake, uninstall.cmake).
set(QF_INSTALL_DIRS
  ${QF_INSTALL_GAMESDIR} ${QF_INSTALL_LIBEXECDIR} ${QF_INSTALL_DATADIR}/Media
  ${QF_INSTALL_DATADIR}/icons share/applications share/metainfo share/man/man6
  ${QF_INSTALL_HEADERDIR}/base ${QF_INSTALL_HEADERDIR}/neat/io ${QF_INSTALL_CMAKEDIR}
  ${QF_INSTALL_PKGCONFIGDIR})
foreach(size ${QF_ICON_SIZES})
  list(APPEND QF_INSTALL_DIRS share/icons/hicolor/${size}x${size}/apps)
endforeach()
foreach(component ${QF_COMPONENTS})
  list(APPEND QF_INSTALL_DIRS share/doc/${QF_PACKAGE_${component}})
endforeach()

# The record's first step comes before every other install rule of the project, whichever
# folder declares it; the last one is cpack.cmake's, after the packages' doc folders.
install(CODE "
  set(QF_BUILD_DIR \"${CMAKE_BINARY_DIR}\")
  set(QF_INSTALL_DIRS \"${QF_INSTALL_DIRS}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/install-record.cmake\")
  qf_note_new_directories()" ALL_COMPONENTS)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Installing and packaging take what is built (make install and make package build first),
# so that the package test does not rebuild the whole tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
