# Read by cpack when it packages. Each Debian package's description starts with its own synopsis
# line (CPACK_DEBIAN_<COMPONENT>_DESCRIPTION); CPackDeb would put the project's one-line summary
# before it unless the summary is left at CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")

# The driver package's dependencies, from dpkg-shlibdeps on the built library (CPackDeb's own run
# is off for that package: it would add maintainer scripts calling ldconfig, which the package's
# trigger does instead). dpkg-shlibdeps wants a debian/control in its working directory.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_QV58163_DRIVER_FILE_SCRIPT)
    include(${CPACK_QV58163_DRIVER_FILE_SCRIPT})
    set(shlibdeps_dir ${CPACK_TOPLEVEL_DIRECTORY}/driver-shlibdeps)
    file(MAKE_DIRECTORY ${shlibdeps_dir}/debian)
    file(TOUCH ${shlibdeps_dir}/debian/control)
    execute_process(COMMAND dpkg-shlibdeps -O ${QV58163_DRIVER_FILE}
                    WORKING_DIRECTORY ${shlibdeps_dir}
                    OUTPUT_VARIABLE shlibdeps OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_VARIABLE shlibdeps_error RESULT_VARIABLE shlibdeps_result)
    if(NOT shlibdeps_result EQUAL 0 OR NOT shlibdeps MATCHES "^shlibs:Depends=(.+)$")
        message(FATAL_ERROR "dpkg-shlibdeps on ${QV58163_DRIVER_FILE}: ${shlibdeps_error}")
    endif()
    set(CPACK_DEBIAN_DRIVER_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
endif()
