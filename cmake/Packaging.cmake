# A Debian package of what `cmake --install` installs: cpack -G DEB in the
# build folder, or scripts/package-check.sh for the package and its checks.
set(QUORVEL_MAINTAINER "The Quorvel developers <developers@quorvel.org>")

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel plans RTI (reflectance transformation imaging, such as PTM) image
acquisition. From the object's size and height and the capture geometry it
computes the light positions on a dome: the grid of two angular steps, rings
around the camera axis, a golden-angle spiral or a geodesic dome. It writes
them in shooting order to a text file for the capture rig, and shows them in
a 3D view of the set-up with a reference model of the object (PLY, OBJ or
STL).
.
A plan report judges a plan (positions below the floor or blocked by the
camera, spread of the light directions, fitting conditions, framing) and
draws its polar plot. The light positions are exported for RTI software
(.lp, .dome, CSV), and the light coverage colours the model by how many
lights reach each part the camera sees, shadows included. Plans are saved
in .qplan files and opened again from the window's File menu, or given to
the command line with --plan. quorvel-cli capture renders the photographs a
plan will take of the reference model, shadows included, as a ready RTI
image set with its light files, normal map, mask and depth map.
.
The package holds the window (quorvel) and the command-line planner
(quorvel-cli), which does the same work for scripts.")
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
# The window's fixed layout needs a narrow face: DejaVu Sans Condensed, from
# Debian's own package rather than a copy of ours, so that it gets Debian's
# updates and lintian's blessing; a fresh system has only the wider DejaVu
# Sans, which runs the labels into their fields.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
