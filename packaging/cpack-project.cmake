# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack for each generator: the archive packs the portable folder, the Debian package
# the fhs component under /usr.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_TOUCHDRILL_DEB_PROJECTS}")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  unset(CPACK_PACKAGE_CHECKSUM)
endif()
