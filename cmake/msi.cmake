# The shipped files: the stripped module with its symbols file, the two
# Windows Installer packages (for all users, and for the current user without
# elevation), all signed when a certificate is given, and the release folder.
#
# write_wxs (a Windows program, run under Wine like the tests) walks the
# module's registration table and writes the WiX sources, so each package
# carries exactly the registry entries DllRegisterServer writes in its hive;
# cmake/package.sh strips and signs the module beside those sources and has
# wixl pack it into quorvane-shellex-VERSION-x64.msi and
# quorvane-shellex-VERSION-x64-user.msi.  build/msi is the work folder; the
# release target gathers the shipped files in build/dist.

find_program(QV_WIXL wixl DOC "WiX-compatible MSI compiler (Debian package wixl)")
find_program(QV_OSSLSIGNCODE osslsigncode DOC "Authenticode signing tool (Debian package osslsigncode)")
find_program(QV_MSIBUILD msibuild DOC "MSI table editor (Debian package msitools)")

add_executable(write_wxs ${CMAKE_SOURCE_DIR}/tools/write_wxs.cpp)
target_link_options(write_wxs PRIVATE -municode)
target_link_libraries(write_wxs PRIVATE qv_core)

set(QV_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(QV_MSI_WORK_DIR ${CMAKE_BINARY_DIR}/msi)
set(QV_MSI_NAME ${PROJECT_NAME}-${QV_VERSION}-x64.msi)
set(QV_WXS ${QV_MSI_WORK_DIR}/${PROJECT_NAME}.wxs)
set(QV_MSI ${QV_MSI_WORK_DIR}/${QV_MSI_NAME})
set(QV_SHIPPED_MODULE ${QV_MSI_WORK_DIR}/quorvane-shellex.dll)
set(QV_SYMBOLS ${QV_SHIPPED_MODULE}.debug)
set(QV_USER_MSI_NAME ${PROJECT_NAME}-${QV_VERSION}-x64-user.msi)
set(QV_USER_WXS ${QV_MSI_WORK_DIR}/${PROJECT_NAME}-user.wxs)
set(QV_USER_MSI ${QV_MSI_WORK_DIR}/${QV_USER_MSI_NAME})
file(MAKE_DIRECTORY ${QV_MSI_WORK_DIR})

# The settings program, once the build has the target qv-settings: one more
# file of both packages, with a Start-menu shortcut, and of the release.
# Generator expressions, so that the target may be defined before or after
# this file is included; without it they are empty.
set(QV_SETTINGS_SHORTCUT "${PROJECT_NAME} settings")
set(QV_SETTINGS_PROGRAM "$<$<TARGET_EXISTS:qv-settings>:$<TARGET_FILE:qv-settings>>")
set(QV_SETTINGS_FILE_NAME "$<$<TARGET_EXISTS:qv-settings>:$<TARGET_FILE_NAME:qv-settings>>")
# The copy package.sh signs beside the package sources.
set(QV_SHIPPED_SETTINGS "$<$<TARGET_EXISTS:qv-settings>:${QV_MSI_WORK_DIR}/$<TARGET_FILE_NAME:qv-settings>>")
set(QV_SETTINGS_WXS_ARGS "$<$<TARGET_EXISTS:qv-settings>:--program;$<TARGET_FILE_NAME:qv-settings>;${QV_SETTINGS_SHORTCUT}>")
# The product's icon, in Apps & features and on the shortcut (the settings
# program carries the same one).  wixl takes it by its file name from beside
# the package source, where it is copied with each source written.
set(QV_PRODUCT_ICON ${CMAKE_SOURCE_DIR}/tools/settings/qv-settings.ico)
get_filename_component(QV_PRODUCT_ICON_NAME ${QV_PRODUCT_ICON} NAME)
# The version the File table records for the module and the program.
set(QV_FILE_VERSION ${QV_VERSION}.0)

# The output name is relative: the program runs under Wine, which sees the
# working folder as its current directory.  The package source names the
# module by its bare file name: wixl looks for it beside the .wxs, where
# package.sh puts the shipped module.  The version resource is configured
# with the version, so a new version writes the source again.
add_custom_command(OUTPUT ${QV_WXS} ${QV_USER_WXS}
    COMMAND ${CMAKE_COMMAND} -E copy ${QV_PRODUCT_ICON} ${QV_MSI_WORK_DIR}
    COMMAND write_wxs --icon ${QV_PRODUCT_ICON_NAME} "${QV_SETTINGS_WXS_ARGS}"
        ${PROJECT_NAME}.wxs ${PROJECT_NAME} ${QV_VERSION} $<TARGET_FILE_NAME:quorvane-shellex>
    COMMAND write_wxs --per-user --icon ${QV_PRODUCT_ICON_NAME} "${QV_SETTINGS_WXS_ARGS}"
        ${PROJECT_NAME}-user.wxs ${PROJECT_NAME} ${QV_VERSION} $<TARGET_FILE_NAME:quorvane-shellex>
    WORKING_DIRECTORY ${QV_MSI_WORK_DIR}
    DEPENDS write_wxs ${QV_VERSION_RC} ${QV_SETTINGS_PROGRAM} ${QV_PRODUCT_ICON}
    COMMENT "Generating ${PROJECT_NAME}.wxs and ${PROJECT_NAME}-user.wxs from the registration table"
    COMMAND_EXPAND_LISTS
    VERBATIM)

# Signing: the certificate from the cache variable, else from the
# environment.  The stamp holds the certificate's path and time (never the
# password), and changes when the certificate does, so the files are signed
# again; it is checked at every build.
set(QV_SIGN_ENV ${CMAKE_COMMAND} -E env QV_HOME_PAGE=${QV_HOME_PAGE})
if(QV_OSSLSIGNCODE)
    list(APPEND QV_SIGN_ENV OSSLSIGNCODE=${QV_OSSLSIGNCODE})
endif()
if(QV_SIGN_PKCS12)
    list(APPEND QV_SIGN_ENV QV_SIGN_PKCS12=${QV_SIGN_PKCS12})
endif()
set(QV_SIGNING_STAMP ${QV_MSI_WORK_DIR}/signing.txt)
add_custom_target(signing_setup
    COMMAND ${QV_SIGN_ENV} sh ${CMAKE_SOURCE_DIR}/cmake/sign.sh --stamp ${QV_SIGNING_STAMP}
    BYPRODUCTS ${QV_SIGNING_STAMP}
    VERBATIM)

if(QV_WIXL)
    set(QV_PACKAGE_COMMAND
        COMMAND ${QV_SIGN_ENV} OBJCOPY=${CMAKE_OBJCOPY} WIXL=${QV_WIXL} MSIBUILD=${QV_MSIBUILD}
            FILE_VERSION=${QV_FILE_VERSION}
            sh ${CMAKE_SOURCE_DIR}/cmake/package.sh $<TARGET_FILE:quorvane-shellex> ${QV_WXS} ${QV_MSI}
                --per-user ${QV_USER_WXS} ${QV_USER_MSI} ${QV_SETTINGS_PROGRAM})
else()
    # Configuring works without wixl; only building the package needs it.
    set(QV_PACKAGE_COMMAND
        COMMAND ${CMAKE_COMMAND} -E echo "wixl not found: install the Debian package wixl (scripts/build.sh does) and reconfigure"
        COMMAND ${CMAKE_COMMAND} -E false)
endif()
add_custom_command(OUTPUT ${QV_SHIPPED_MODULE} ${QV_SYMBOLS} ${QV_MSI} ${QV_USER_MSI}
    ${QV_PACKAGE_COMMAND}
    DEPENDS ${QV_WXS} ${QV_USER_WXS} quorvane-shellex ${QV_SETTINGS_PROGRAM} ${QV_SIGNING_STAMP}
        ${CMAKE_SOURCE_DIR}/cmake/package.sh ${CMAKE_SOURCE_DIR}/cmake/sign.sh
    COMMENT "Stripping and packing the module into ${QV_MSI_NAME} and ${QV_USER_MSI_NAME}"
    VERBATIM)
add_custom_target(msi ALL DEPENDS ${QV_MSI} ${QV_USER_MSI})
add_dependencies(msi signing_setup)

# The install test needs the packages built first; it finds them by name and
# reads their properties through msi.dll.  For the upgrade tests, two more of
# each: the same source packed again (with a new product code, as every build
# has) and a later version.  The later ones carry a settings program with its
# shortcut: qv-settings when the build has it, else the menu host standing in
# for it under its name.
if(TARGET test_msi)
    set(QV_TEST_PACKAGES ${CMAKE_BINARY_DIR}/test-packages)
    set(QV_TEST_PACKAGE_FILES ${QV_TEST_PACKAGES}/rebuilt.msi ${QV_TEST_PACKAGES}/later.msi
        ${QV_TEST_PACKAGES}/rebuilt-user.msi ${QV_TEST_PACKAGES}/later-user.msi)
    set(QV_LATER_ARGS --icon ${QV_PRODUCT_ICON_NAME} --program qv-settings.exe ${QV_SETTINGS_SHORTCUT}
        later.wxs ${PROJECT_NAME} ${PROJECT_VERSION_MAJOR}.99.0 $<TARGET_FILE_NAME:quorvane-shellex>)
    file(MAKE_DIRECTORY ${QV_TEST_PACKAGES})
    add_custom_command(OUTPUT ${QV_TEST_PACKAGE_FILES}
        # The module first: wixl may take the one in the working folder, which
        # must be this build's, not the one an earlier build left there.
        COMMAND ${CMAKE_COMMAND} -E copy ${QV_SHIPPED_MODULE} ${QV_SHIPPED_SETTINGS} ${QV_PRODUCT_ICON} ${QV_TEST_PACKAGES}
        COMMAND ${QV_WIXL} -a x64 -o ${QV_TEST_PACKAGES}/rebuilt.msi ${QV_WXS}
        COMMAND ${QV_WIXL} -a x64 -o ${QV_TEST_PACKAGES}/rebuilt-user.msi ${QV_USER_WXS}
        COMMAND ${CMAKE_COMMAND} -E copy
            "${QV_SHIPPED_SETTINGS}$<$<NOT:$<TARGET_EXISTS:qv-settings>>:$<TARGET_FILE:qv-menu-host>>"
            ${QV_TEST_PACKAGES}/qv-settings.exe
        COMMAND write_wxs ${QV_LATER_ARGS}
        COMMAND ${QV_WIXL} -a x64 -o ${QV_TEST_PACKAGES}/later.msi ${QV_TEST_PACKAGES}/later.wxs
        COMMAND write_wxs --per-user ${QV_LATER_ARGS}
        COMMAND ${QV_WIXL} -a x64 -o ${QV_TEST_PACKAGES}/later-user.msi ${QV_TEST_PACKAGES}/later.wxs
        WORKING_DIRECTORY ${QV_TEST_PACKAGES}
        DEPENDS ${QV_MSI} ${QV_USER_MSI} write_wxs qv-menu-host
        COMMENT "Packing the module again, and as a later version, for the upgrade tests"
        VERBATIM)
    add_custom_target(test_packages DEPENDS ${QV_TEST_PACKAGE_FILES})
    add_dependencies(test_packages msi)
    add_dependencies(test_msi msi test_packages)
    target_compile_definitions(test_msi PRIVATE "QV_MSI_NAME=\"${QV_MSI_NAME}\"" "QV_VERSION=\"${QV_VERSION}\""
        "QV_LATER_VERSION=\"${PROJECT_VERSION_MAJOR}.99.0\"" "QV_USER_MSI_NAME=\"${QV_USER_MSI_NAME}\""
        "QV_SETTINGS_PROGRAM=\"${QV_SETTINGS_FILE_NAME}\"" "QV_SETTINGS_SHORTCUT=\"${QV_SETTINGS_SHORTCUT}\""
        "QV_FILE_VERSION=\"${QV_FILE_VERSION}\"")
    target_link_libraries(test_msi PRIVATE -lmsi -lversion)
endif()

# release: the shipped module and its symbols, the two packages, the
# settings program when the build has it, the install notes, every registry
# file of dist/ and the policy template (the ADMX with its en-US ADML in the
# folder Group Policy expects), alone in build/dist.
configure_file(${CMAKE_SOURCE_DIR}/dist/INSTALL.txt ${QV_MSI_WORK_DIR}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
file(GLOB QV_REG_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/dist/*.reg)
add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QV_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_DIST_DIR} ${QV_DIST_DIR}/en-US
    COMMAND ${CMAKE_COMMAND} -E copy ${QV_SHIPPED_MODULE} ${QV_SYMBOLS} ${QV_MSI} ${QV_USER_MSI}
        ${QV_SHIPPED_SETTINGS} ${QV_MSI_WORK_DIR}/INSTALL.txt ${QV_REG_FILES}
        ${CMAKE_SOURCE_DIR}/dist/quorvane-shellex.admx ${QV_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/dist/en-US/quorvane-shellex.adml ${QV_DIST_DIR}/en-US/
    COMMAND ${CMAKE_COMMAND} -E cat ${QV_SIGNING_STAMP}
    COMMENT "Collecting release ${QV_VERSION} in ${QV_DIST_DIR}"
    VERBATIM)
add_dependencies(release msi)

# The packing itself, with and without a throwaway certificate: a shell
# script that runs package.sh on the built module into build/test-package.
if(QV_BUILD_TESTS)
    add_test(NAME test_package
        COMMAND ${CMAKE_COMMAND} -E env OBJCOPY=${CMAKE_OBJCOPY} OBJDUMP=${CMAKE_OBJDUMP} ADDR2LINE=${CMAKE_ADDR2LINE}
            WIXL=${QV_WIXL} OSSLSIGNCODE=${QV_OSSLSIGNCODE} MSIBUILD=${QV_MSIBUILD} FILE_VERSION=${QV_FILE_VERSION}
            sh ${CMAKE_SOURCE_DIR}/tests/test_package.sh $<TARGET_FILE:quorvane-shellex> ${QV_WXS} ${QV_USER_WXS}
                ${CMAKE_BINARY_DIR}/test-package ${QV_SETTINGS_PROGRAM})
    set_tests_properties(test_package PROPERTIES TIMEOUT 120)
endif()
