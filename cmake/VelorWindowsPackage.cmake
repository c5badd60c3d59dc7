# The Windows package: the per-user installer (tools/windows/installer.nsi),
# built with Debian's makensis beside VelorLauncher.exe, and Authenticode
# signatures on both and on the uninstaller when a certificate and key are given.
set(VELOR_SIGN_CERT "" CACHE FILEPATH "PEM certificate to sign VelorLauncher.exe and the installer with (optional)")
set(VELOR_SIGN_KEY "" CACHE FILEPATH "PEM private key of VELOR_SIGN_CERT")

find_program(VELOR_MAKENSIS makensis)
if(NOT VELOR_MAKENSIS)
    message(STATUS "makensis not found: no installer (tools/install-deps.sh --windows installs it)")
    return()
endif()

set(VELOR_INSTALLER ${CMAKE_BINARY_DIR}/VelorLauncher-${VELOR_VERSION}-Setup.exe)
set(_sign_installer)
set(_sign_uninstaller)
if(VELOR_SIGN_CERT OR VELOR_SIGN_KEY)
    if(NOT EXISTS "${VELOR_SIGN_CERT}" OR NOT EXISTS "${VELOR_SIGN_KEY}")
        message(FATAL_ERROR "Signing needs both VELOR_SIGN_CERT and VELOR_SIGN_KEY as existing files")
    endif()
    set(_sign ${PROJECT_SOURCE_DIR}/tools/windows/sign.sh)
    add_custom_command(TARGET VelorLauncher POST_BUILD
        COMMAND ${_sign} $<TARGET_FILE:VelorLauncher> ${VELOR_SIGN_CERT} ${VELOR_SIGN_KEY}
        VERBATIM)
    set(_sign_installer COMMAND ${_sign} ${VELOR_INSTALLER} ${VELOR_SIGN_CERT} ${VELOR_SIGN_KEY})
    set(_sign_uninstaller -DSIGN=${_sign} -DSIGN_CERT=${VELOR_SIGN_CERT} -DSIGN_KEY=${VELOR_SIGN_KEY})
endif()

add_custom_command(OUTPUT ${VELOR_INSTALLER}
    COMMAND ${VELOR_MAKENSIS} -V2 -DVERSION=${VELOR_VERSION} -DEXE=$<TARGET_FILE:VelorLauncher>
            -DICON=${PROJECT_SOURCE_DIR}/resources/app.ico -DOUTFILE=${VELOR_INSTALLER} ${_sign_uninstaller}
            ${PROJECT_SOURCE_DIR}/tools/windows/installer.nsi
    ${_sign_installer}
    DEPENDS VelorLauncher ${PROJECT_SOURCE_DIR}/tools/windows/installer.nsi ${PROJECT_SOURCE_DIR}/resources/app.ico
    VERBATIM)
add_custom_target(installer ALL DEPENDS ${VELOR_INSTALLER})
