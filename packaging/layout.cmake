# Where an installation puts the game, below the prefix: Debian's places for a game (the
# launcher in games/, which is on Debian's PATH; the program, which players do not start by
# hand, in lib/games/quillfrost/) and the data in share/quillfrost/. Read before the
# platform is configured, because the game finds its sounds from its own place in this tree.
set(QF_APP_ID io.github.quillfrost.quillfrost)
set(QF_INSTALL_GAMESDIR games)
set(QF_INSTALL_LIBEXECDIR lib/games/quillfrost)
set(QF_INSTALL_DATADIR share/quillfrost)
set(QF_INSTALL_DOCDIR share/doc/quillfrost)
set(QF_ICON_SIZES 16 24 32 48 64 128 256)

file(RELATIVE_PATH QF_INSTALLED_DATA_FROM_EXE /${QF_INSTALL_LIBEXECDIR} /${QF_INSTALL_DATADIR})

# Installing and packaging take what is built (make install and make package build first),
# so that the package test does not rebuild the whole tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
