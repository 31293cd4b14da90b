# The release: the scripts that install and remove the program, the examples, and (in the 32-bit
# build) the zip with its SHA-256 file under dist/:
#   cmake --build --preset win32 --target package
# Every text file gets CR LF line ends, as Windows' own tools expect.
foreach(script Install Uninstall)
    configure_file(${PROJECT_SOURCE_DIR}/res/${script}.cmd.in ${VEXMOR_BIN_DIR}/${script}.cmd @ONLY
                   NEWLINE_STYLE CRLF)
endforeach()
set(VEXMOR_EXAMPLES "Example.LinkConfig" "Example Compress.BAT" "Example Sign.BAT")
set(examples "")
foreach(example IN LISTS VEXMOR_EXAMPLES)
    # Taken literally (no @ in them), only the line ends change.
    set(source "${PROJECT_SOURCE_DIR}/res/Examples/${example}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    file(READ "${source}" text)
    file(CONFIGURE OUTPUT "${VEXMOR_BIN_DIR}/Examples/${example}" CONTENT "${text}"
         @ONLY NEWLINE_STYLE CRLF)
    list(APPEND examples "${VEXMOR_BIN_DIR}/Examples/${example}")
endforeach()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The program with its reading process's program (which it starts from beside itself) and
    # its two libraries.
    install(FILES $<TARGET_FILE:VexmorLink> $<TARGET_FILE:VexmorLinkReader>
                  $<TARGET_FILE:QZVSP0100A> $<TARGET_FILE:QZVSP0100B>
                  ${VEXMOR_BIN_DIR}/ReadMe.TXT ${VEXMOR_BIN_DIR}/Install.cmd
                  ${VEXMOR_BIN_DIR}/Uninstall.cmd
            DESTINATION .)
    install(FILES ${examples} DESTINATION Examples)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
    # CPack's module changes its own variables: the tests find the zip by this name.
    set(VEXMOR_RELEASE_ZIP ${PROJECT_SOURCE_DIR}/dist/${CPACK_PACKAGE_FILE_NAME}.zip)
    # CPack's own work stays in the build tree; only the zip and its checksum go to dist/.
    set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
    set(CPACK_PACKAGE_CHECKSUM SHA256)
    # The files at the zip's top, as the user installs them.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
    include(CPack)
endif()
