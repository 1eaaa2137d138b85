# A Debian package of what `cmake --install` installs: cpack -G DEB in the
# build folder, or scripts/package-check.sh for the package and its checks.
set(QUORVEL_MAINTAINER "The Quorvel developers <developers@quorvel.org>")

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel plans PTM (polynomial texture map, a kind of RTI) image acquisition.
From the object's size and height and the capture geometry (camera distance,
distance of the positions from the object, vertical and horizontal angular
steps) it computes a half dome of acquisition positions, shows them in a 3D
view of the set-up with an optional PLY reference model, and writes them to a
text file for the capture rig.
.
The package holds the window (quorvel) and the command-line planner
(quorvel-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps; what Qt and GL
# load at run time does not show in the programs and is named here: the X11
# platform plugin, and Mesa's drivers for a machine without its own GL. A
# new run-time plugin (image formats, SVG icons) belongs in the Depends too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
