# cmake --install: the C header, the shared library (with its import libraries on
# Windows), the command-line tool, a CMake package and a pkg-config file. The static
# library kiv and its headers form the optional component "kiv"
# (cmake --install BUILD --component kiv).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KIV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kivupdate)

target_include_directories(kivupdate INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS kivupdate EXPORT kivupdateTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Unspecified
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/update/kivupdate.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET kivupdate_cli)
    install(TARGETS kivupdate_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(WIN32)
    # Microsoft's linker takes an import library made from the module-definition file;
    # MinGW's own libkivupdate.dll.a is installed beside it.
    find_program(KIV_DLLTOOL NAMES ${CMAKE_DLLTOOL} x86_64-w64-mingw32-dlltool REQUIRED)
    add_custom_command(TARGET kivupdate POST_BUILD
        COMMAND ${KIV_DLLTOOL} -m i386:x86-64 -d ${CMAKE_SOURCE_DIR}/update/kivupdate.def
                -D kivupdate.dll -l ${CMAKE_BINARY_DIR}/kivupdate.lib
        COMMENT "Import library kivupdate.lib for Microsoft's linker")
    install(FILES ${CMAKE_BINARY_DIR}/kivupdate.lib DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(EXPORT kivupdateTargets NAMESPACE kivupdate:: DESTINATION ${KIV_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/kivupdateConfig.cmake.in
    ${CMAKE_BINARY_DIR}/kivupdateConfig.cmake INSTALL_DESTINATION ${KIV_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kivupdateConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kivupdateConfig.cmake
              ${CMAKE_BINARY_DIR}/kivupdateConfigVersion.cmake
        DESTINATION ${KIV_CMAKE_DIR})
# The pkg-config file finds the prefix from its own place, so an install tree can move.
file(RELATIVE_PATH KIV_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" KIV_PC_TO_PREFIX "${KIV_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/kivupdate.pc.in ${CMAKE_BINARY_DIR}/kivupdate.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kivupdate.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Optional: the general-purpose subsystems for C++ callers.
install(TARGETS kiv EXPORT kivupdateKivTargets COMPONENT kiv EXCLUDE_FROM_ALL
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# Test seams (the *Calls.h tables of system calls) stay private.
foreach(dir IN LISTS KIV_SUBSYSTEMS ITEMS compat)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv/${dir}
            COMPONENT kiv EXCLUDE_FROM_ALL OPTIONAL FILES_MATCHING PATTERN "*.h"
            PATTERN "*Calls.h" EXCLUDE)
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv
        COMPONENT kiv EXCLUDE_FROM_ALL OPTIONAL FILES_MATCHING PATTERN "*.h")
install(EXPORT kivupdateKivTargets NAMESPACE kivupdate:: DESTINATION ${KIV_CMAKE_DIR}
        COMPONENT kiv EXCLUDE_FROM_ALL)
