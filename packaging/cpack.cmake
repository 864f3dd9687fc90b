# make package: a Debian package of the same installation, below /usr. Its dependencies are
# the shared libraries the program links (found by dpkg-shlibdeps: SDL2, libpng, FreeType,
# fontconfig, the C and C++ runtimes) and the font with Arial's metrics the status bar asks
# fontconfig for.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillfrost)
set(CPACK_PACKAGE_VENDOR "The Quillfrost developers")
set(CPACK_PACKAGE_CONTACT "The Quillfrost developers <maintainers@users.noreply.c-seed-ece00029.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "arcade game whose invaders learn while you play")
# Lines under 80 columns, as Debian asks.
set(CPACK_PACKAGE_DESCRIPTION [[
You steer a ship along the bottom of the playfield and fire rockets upward.
Every invader above it is driven by a small neural network, one genome of a
population evolved with NEAT (NeuroEvolution of Augmenting Topologies).
Shoot down a wave of thirty and the population is scored by the bombs it
dropped, the hits on your ship and the time it survived, then bred: the next
wave bombs better.]])

# Installed with DESTDIR below the real prefix, so the menu entry names /usr/games/quillfrost.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
# The game alone: the Python module (install component python) is not the game's.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Quillfrost;Unspecified;/")

include(CPack)
