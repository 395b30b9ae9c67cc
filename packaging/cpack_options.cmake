# Read by cpack when it packages. Each Debian package's description starts with its own synopsis
# line (CPACK_DEBIAN_<COMPONENT>_DESCRIPTION); CPackDeb would put the project's one-line summary
# before it unless the summary is left at CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")
