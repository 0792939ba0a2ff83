# The Windows Installer package and the release folder.
#
# write_wxs (a Windows program, run under Wine like the tests) walks the
# module's registration table and writes the WiX source, so the package
# carries exactly the registry entries DllRegisterServer writes; wixl turns
# that source into build/dist/quorvane-shellex-VERSION-x64.msi.

find_program(QV_WIXL wixl DOC "WiX-compatible MSI compiler (Debian package wixl)")

add_executable(write_wxs ${CMAKE_SOURCE_DIR}/tools/write_wxs.cpp)
target_link_options(write_wxs PRIVATE -municode)
target_link_libraries(write_wxs PRIVATE qv_core)

set(QV_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(QV_MSI_WORK_DIR ${CMAKE_BINARY_DIR}/msi)
set(QV_MSI_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-x64.msi)
set(QV_WXS ${QV_MSI_WORK_DIR}/${PROJECT_NAME}.wxs)
set(QV_MSI ${QV_DIST_DIR}/${QV_MSI_NAME})
file(MAKE_DIRECTORY ${QV_MSI_WORK_DIR} ${QV_DIST_DIR})

# The output name is relative: the program runs under Wine, which sees the
# working folder as its current directory.  The package source names the
# module by its bare file name: wixl looks for it beside the .wxs, where the
# package rule stages it.
add_custom_command(OUTPUT ${QV_WXS}
    COMMAND write_wxs ${PROJECT_NAME}.wxs ${PROJECT_NAME} ${PROJECT_VERSION} $<TARGET_FILE_NAME:quorvane-shellex>
    WORKING_DIRECTORY ${QV_MSI_WORK_DIR}
    DEPENDS write_wxs
    COMMENT "Generating ${PROJECT_NAME}.wxs from the registration table"
    VERBATIM)

if(QV_WIXL)
    set(QV_WIXL_COMMAND
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:quorvane-shellex> ${QV_MSI_WORK_DIR}
        COMMAND ${QV_WIXL} -a x64 -o ${QV_MSI} ${QV_WXS})
else()
    # Configuring works without wixl; only building the package needs it.
    set(QV_WIXL_COMMAND
        COMMAND ${CMAKE_COMMAND} -E echo "wixl not found: install the Debian package wixl (scripts/build.sh does) and reconfigure"
        COMMAND ${CMAKE_COMMAND} -E false)
endif()
add_custom_command(OUTPUT ${QV_MSI}
    ${QV_WIXL_COMMAND}
    DEPENDS ${QV_WXS} quorvane-shellex
    COMMENT "Building ${QV_MSI_NAME}"
    VERBATIM)
add_custom_target(msi ALL DEPENDS ${QV_MSI})

# The install test needs the package built first; it finds it by name and
# reads its properties through msi.dll.
if(TARGET test_msi)
    add_dependencies(test_msi msi)
    target_compile_definitions(test_msi PRIVATE "QV_MSI_NAME=\"${QV_MSI_NAME}\"")
    target_link_libraries(test_msi PRIVATE -lmsi)
endif()

# release: the module, the package, the settings sample and the install notes
# together in build/dist.
configure_file(${CMAKE_SOURCE_DIR}/dist/INSTALL.txt ${QV_MSI_WORK_DIR}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
set(QV_SETTINGS_SAMPLE ${CMAKE_SOURCE_DIR}/dist/quorvane-shellex-settings.reg)
if(EXISTS ${QV_SETTINGS_SAMPLE})
    set(QV_SETTINGS_COMMAND COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QV_SETTINGS_SAMPLE} ${QV_DIST_DIR})
else()
    message(STATUS "No ${QV_SETTINGS_SAMPLE} yet: the release target leaves the settings sample out")
    set(QV_SETTINGS_COMMAND COMMAND ${CMAKE_COMMAND} -E echo "Settings sample left out: ${QV_SETTINGS_SAMPLE} did not exist at configure time")
endif()
add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:quorvane-shellex> ${QV_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QV_MSI_WORK_DIR}/INSTALL.txt ${QV_DIST_DIR}
    ${QV_SETTINGS_COMMAND}
    COMMENT "Collecting the release in ${QV_DIST_DIR}"
    VERBATIM)
add_dependencies(release msi quorvane-shellex)
