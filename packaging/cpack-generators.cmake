# Read by cpack for each generator: the archive is the portable program
# folder, the Debian package lays the same program out over the system.
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 lckb_build_dir)
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_INSTALL_CMAKE_PROJECTS "${lckb_build_dir};lckb;deb;/")
    set(CPACK_PACKAGING_INSTALL_PREFIX /)
else()
    set(CPACK_INSTALL_CMAKE_PROJECTS "${lckb_build_dir};lckb;portable;/")
endif()
