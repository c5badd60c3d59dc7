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

# The keys an update must be signed with: none, or one or two (the current key
# and its successor, for a rotation without a gap), separated by semicolons,
# commas or spaces. Each is the base64 of a 32-byte Ed25519 public key: 44
# characters, the last before the padding without stray bits. out_keys gets
# them as a list.
function(velor_check_update_keys text out_ok out_why out_keys)
    string(REGEX REPLACE "[ ,;]+" ";" _keys "${text}")
    list(FILTER _keys EXCLUDE REGEX "^$")
    set(${out_keys} "${_keys}" PARENT_SCOPE)
    set(${out_ok} FALSE PARENT_SCOPE)
    list(LENGTH _keys _count)
    if(_count GREATER 2)
        set(${out_why} "at most two keys: the current one and its successor" PARENT_SCOPE)
        return()
    endif()
    foreach(_key IN LISTS _keys)
        string(LENGTH "${_key}" _length)
        if(NOT _length EQUAL 44 OR NOT _key MATCHES "^[A-Za-z0-9+/]+[AEIMQUYcgkosw048]=$")
            set(${out_why} "'${_key}' is not a base64 Ed25519 public key as make update-key prints it" PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${out_ok} TRUE PARENT_SCOPE)
endfunction()

# Script mode, for the configure-time tests:
#   cmake -DVELOR_CHECK_URL=<address> -P VelorUrlCheck.cmake
#   cmake -DVELOR_CHECK_KEYS=<keys> -P VelorUrlCheck.cmake
if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(DEFINED VELOR_CHECK_URL)
        velor_check_url("${VELOR_CHECK_URL}" _ok _why)
    elseif(DEFINED VELOR_CHECK_KEYS)
        velor_check_update_keys("${VELOR_CHECK_KEYS}" _ok _why _keys)
    else()
        velor_check_host("${VELOR_CHECK_HOST}" _ok _why)
    endif()
    if(NOT _ok)
        message(FATAL_ERROR "${_why}")
    endif()
endif()
