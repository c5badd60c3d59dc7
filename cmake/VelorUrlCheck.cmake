# Address rules shared by the configure step and its tests.
#
# An address must be https. The only exception is a loopback host, which the
# demo backend and the tests use; plain http anywhere else would let anyone on
# the path rewrite what the launcher shows and downloads.
function(velor_check_url url out_ok out_why)
    set(${out_ok} FALSE PARENT_SCOPE)
    if(url STREQUAL "")
        set(${out_why} "the address is empty" PARENT_SCOPE)
        return()
    endif()
    if(url MATCHES "[ \t\r\n\"'<>\\\\]")
        set(${out_why} "the address contains spaces, quotes or backslashes" PARENT_SCOPE)
        return()
    endif()
    string(TOLOWER "${url}" _lower)
    if(_lower MATCHES "^https://[^/?#@]+([/?#].*)?$")
        set(${out_ok} TRUE PARENT_SCOPE)
        return()
    endif()
    if(_lower MATCHES "^https?://(127\\.0\\.0\\.1|localhost|\\[::1\\])(:[0-9]+)?([/?#].*)?$")
        set(${out_ok} TRUE PARENT_SCOPE)
        return()
    endif()
    set(${out_why} "must be an https:// address (plain http is allowed only for 127.0.0.1, localhost or [::1])" PARENT_SCOPE)
endfunction()

function(velor_check_host host out_ok out_why)
    if(host MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
        set(${out_ok} TRUE PARENT_SCOPE)
    else()
        set(${out_ok} FALSE PARENT_SCOPE)
        set(${out_why} "must be a plain host name (letters, digits, dots and dashes)" PARENT_SCOPE)
    endif()
endfunction()

# Script mode, for the configure-time tests:
#   cmake -DVELOR_CHECK_URL=<address> -P VelorUrlCheck.cmake
if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(DEFINED VELOR_CHECK_URL)
        velor_check_url("${VELOR_CHECK_URL}" _ok _why)
    else()
        velor_check_host("${VELOR_CHECK_HOST}" _ok _why)
    endif()
    if(NOT _ok)
        message(FATAL_ERROR "${_why}")
    endif()
endif()
