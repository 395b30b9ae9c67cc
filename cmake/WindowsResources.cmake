# The Windows programs' version resource (product, description, version, copyright) and icon, so
# that Explorer, Task Manager and the list of installed programs name them properly. Compiled by
# the resource compiler (MinGW's windres) into each program. The icon is drawn by the Linux build
# (qv58163_make_icons --ico), since a cross build cannot run the tool it builds.
set(QV58163_WINDOWS_ICON "" CACHE FILEPATH
    "The programs' icon (.ico), from the Linux build's qv58163_make_icons --ico; none if empty")

file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE qv58163_copyright REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT qv58163_copyright)
    message(FATAL_ERROR "LICENSE: no copyright line")
endif()

# qv58163_version_resource(TARGET DESCRIPTION): TARGET's executable carries the version resource
# with DESCRIPTION as its file description, and the icon if one is given.
function(qv58163_version_resource target description)
    set(file_name ${target}.exe)
    set(patch ${PROJECT_VERSION_PATCH})
    if(patch STREQUAL "")
        set(patch 0)
    endif()
    set(version_commas ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${patch},0)
    set(icon_line "")
    if(QV58163_WINDOWS_ICON)
        if(NOT EXISTS ${QV58163_WINDOWS_ICON})
            message(FATAL_ERROR "QV58163_WINDOWS_ICON: no such file: ${QV58163_WINDOWS_ICON}")
        endif()
        # The first icon of a program is the one Windows shows for it.
        set(icon_line "1 ICON \"${QV58163_WINDOWS_ICON}\"")
    endif()
    set(rc ${PROJECT_BINARY_DIR}/resources/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    if(QV58163_WINDOWS_ICON)
        set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
                                    OBJECT_DEPENDS ${QV58163_WINDOWS_ICON})
    endif()
endfunction()
