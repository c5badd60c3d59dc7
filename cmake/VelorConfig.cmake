# The community's addresses are compiled in. Each is a cache variable so that a
# community can build the launcher for its own hosts:
#   cmake --preset release -DVELOR_API_BASE=https://api.example.org ...
set(VELOR_API_BASE "https://api.velor-rp.ru" CACHE STRING "Community web API origin (serves /servers, /news, /launcher/version)")
set(VELOR_WEBSITE_URL "https://velor-rp.ru" CACHE STRING "Community website origin (serves /donate and /news/<slug>)")
set(VELOR_FORUM_URL "https://forum.velor-rp.ru" CACHE STRING "Forum start page")
set(VELOR_SUPPORT_URL "https://discord.gg/velorrp-support" CACHE STRING "Support chat invitation")
set(VELOR_DISCORD_URL "https://discord.gg/velorrp" CACHE STRING "Discord server invitation")
set(VELOR_YOUTUBE_URL "https://www.youtube.com/@velorrp" CACHE STRING "YouTube channel")
set(VELOR_VK_URL "https://vk.com/velorrp" CACHE STRING "VK page")
set(VELOR_TELEGRAM_URL "https://t.me/velorrp" CACHE STRING "Telegram channel")
set(VELOR_GAME_SERVER_HOST "game.velor-rp.ru" CACHE STRING "Game server host name handed to the client")
set(VELOR_CLIENT_INSTALLER_URL "https://cdn.rage.mp/public/files/RAGEMultiplayer_Setup.exe" CACHE STRING "RAGE Multiplayer installer download")

include(${CMAKE_CURRENT_LIST_DIR}/VelorUrlCheck.cmake)

foreach(_var VELOR_API_BASE VELOR_WEBSITE_URL VELOR_FORUM_URL VELOR_SUPPORT_URL VELOR_DISCORD_URL
             VELOR_YOUTUBE_URL VELOR_VK_URL VELOR_TELEGRAM_URL VELOR_CLIENT_INSTALLER_URL)
    velor_check_url("${${_var}}" _ok _why)
    if(NOT _ok)
        message(FATAL_ERROR "${_var} = '${${_var}}': ${_why}")
    endif()
endforeach()
velor_check_host("${VELOR_GAME_SERVER_HOST}" _ok _why)
if(NOT _ok)
    message(FATAL_ERROR "VELOR_GAME_SERVER_HOST = '${VELOR_GAME_SERVER_HOST}': ${_why}")
endif()

# Origins are joined with paths ("/servers", "/news/"), so a trailing slash would double up.
foreach(_var VELOR_API_BASE VELOR_WEBSITE_URL)
    string(REGEX REPLACE "/+$" "" ${_var} "${${_var}}")
endforeach()

# The community's update signing keys (make update-key prints one). With a key,
# the launcher installs only an update whose version answer that key signed;
# without one it trusts the web server's answer as it stands.
set(VELOR_UPDATE_PUBLIC_KEYS "" CACHE STRING "Base64 Ed25519 public keys (one, or two while rotating) that sign updates")
velor_check_update_keys("${VELOR_UPDATE_PUBLIC_KEYS}" _ok _why _keys)
if(NOT _ok)
    message(FATAL_ERROR "VELOR_UPDATE_PUBLIC_KEYS = '${VELOR_UPDATE_PUBLIC_KEYS}': ${_why}")
endif()
list(JOIN _keys " " VELOR_UPDATE_KEYS_TEXT)
if(NOT _keys AND CMAKE_BUILD_TYPE STREQUAL "Release")
    message(WARNING "VELOR_UPDATE_PUBLIC_KEYS is empty: this release build installs whatever update the web "
        "server announces, so whoever takes over that server can run code on every player's machine. Make a key "
        "pair with `make update-key KEY=<file kept offline>` and configure with -DVELOR_UPDATE_PUBLIC_KEYS=<public key>.")
endif()

# The launcher's version is the project's. A test build may report a higher one
# so that the self-update can be run end to end against a real installer;
# releases leave this empty.
set(VELOR_VERSION_OVERRIDE "" CACHE STRING "Test builds only: the version this build reports instead of ${PROJECT_VERSION}")
if(VELOR_VERSION_OVERRIDE)
    if(NOT VELOR_VERSION_OVERRIDE MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
        message(FATAL_ERROR "VELOR_VERSION_OVERRIDE = '${VELOR_VERSION_OVERRIDE}': must be three numbers, e.g. 1.2.0")
    endif()
    set(VELOR_VERSION ${VELOR_VERSION_OVERRIDE})
else()
    set(VELOR_VERSION ${PROJECT_VERSION})
endif()
