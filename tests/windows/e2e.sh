#!/usr/bin/env bash
# What a Windows player sees, from install to uninstall, under Wine and Xvfb against the demo
# backend on loopback. A failure names its step and keeps the screenshot and Wine log in build/windows-e2e/.
set -eEuo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$root/build/windows-e2e"
work="$(mktemp -d)"
mkdir -p "$out" "$work/home" "$work/release"
export LC_ALL=C.UTF-8 HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=fixme-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
log="$out/wine.log" step="preparing" failed="" pids=()
: >"$log"
finish() {
    local rc=$?
    [ $rc -eq 0 ] || import -window root "$out/failure.png" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    kill "${pids[@]}" 2>/dev/null || true
    rm -rf "$work"
    [ $rc -eq 0 ] && rm -f "$log" || echo "FAILED at step: $step: $failed (kept: $log, $out/failure.png)" >&2
}
trap finish EXIT
trap 'failed="$BASH_COMMAND"' ERR
until_ok() {   # until_ok <seconds> <command...>: polls the command until it succeeds
    local deadline=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do [ $SECONDS -lt $deadline ] && sleep 0.2 || return 1; done
}
win() { wine "$@" 2>>"$log"; }
absent() { ! "$@"; }   # a failing check that stops the script, unlike a bare "!"
reg_value() { win reg query "$1" | tr -d '\r' | sed -n "s/^    $2    \(REG_[A-Z_]*\)    \(.*\)$/\1 \2/p"; }
# Runs a command line as Windows stored it; one that does not end is a failure, not a hang.
run_stored() { printf '@%s\r\n' "$1" >"$WINEPREFIX/drive_c/stored.bat"; timeout 60 wine cmd /c 'C:\stored.bat' 2>>"$log"; }
launcher_windows() { xdotool search --onlyvisible --name '^VELOR RP Launcher$' 2>/dev/null || true; }
window_count_is() { [ "$(launcher_windows | wc -l)" -eq "$1" ]; }
update_error_box() { xdotool search --onlyvisible --name '^Ошибка обновления$'; }
# The window maps before its first frame is drawn: a uniform screen is not it yet.
painted() { import -window root "$out/window.png" && [ "$(convert "$out/window.png" -format '%[fx:standard_deviation>0]' info:)" = 1 ]; }
shown_after() {   # shown_after <date +%s%N of a start>: its ms until a launcher window is on the screen
    until_ok 60 eval '[ -n "$(launcher_windows)" ]'
    echo $((($(date +%s%N) - $1) / 1000000))
}
started_count_is() { [ "$(wc -l <"$client/started.txt" 2>/dev/null || echo 0)" -eq "$1" ]; }

step="starting the demo backend and Xvfb"
python3 "$root/tools/demo/demo_backend.py" --port 0 --quiet --release "$work/release" >"$work/backend.out" & pids+=($!)
until_ok 10 grep -q ready "$work/backend.out"
api="$(grep -o 'http://127.0.0.1:[0-9]*' "$work/backend.out")"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 2>>"$log" & pids+=($!)
until_ok 10 test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"

step="building the launcher (1.1.9, signed with a throwaway certificate) and a newer test build (1.2.0), both taking updates signed by a throwaway update key"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=VELOR RP test" -days 2 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
update_key="$("$VELOR_UPDATESIGN" keygen "$work/update.key")"
build() {
    cmake --preset windows-tests -B "$out/$1" -DVELOR_BUILD_TESTS=OFF -DVELOR_API_BASE="$api" -DVELOR_UPDATE_PUBLIC_KEYS="$update_key" "${@:2}" >"$out/$1.log" 2>&1
    cmake --build "$out/$1" >>"$out/$1.log" 2>&1
}
build current -DVELOR_VERSION_OVERRIDE= -DVELOR_SIGN_CERT="$work/cert.pem" -DVELOR_SIGN_KEY="$work/key.pem"
build next -DVELOR_VERSION_OVERRIDE=1.2.0
build unhealthy -DVELOR_VERSION_OVERRIDE=1.2.1 -DVELOR_TEST_FAULT=health-check
build crashing -DVELOR_VERSION_OVERRIDE=1.2.2 -DVELOR_TEST_FAULT=crash-at-start
for f in VelorLauncher.exe VelorLauncher-1.1.9-Setup.exe; do osslsigncode verify -CAfile "$work/cert.pem" -in "$out/current/$f" >/dev/null; done

step="making the Wine prefix (Windows 10), TEMP with a quote, a bracket and Cyrillic"
"$root/tools/windows/wineprefix.sh" "$WINEPREFIX" >>"$log" 2>&1
temp='C:\tmp\it'"'"'s [1] Кириллица'
client="$WINEPREFIX/drive_c/Games/RAGEMP" decoy="$WINEPREFIX/drive_c/decoy" ps="$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0"
mkdir -p "$WINEPREFIX/drive_c/tmp/it's [1] Кириллица" "$client" "$decoy"
win reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null   # a crash ends the program, as on Windows
for v in TEMP TMP; do win reg add 'HKCU\Environment' /v $v /d "$temp" /f >/dev/null; done
cc=(x86_64-w64-mingw32-gcc-posix -O1 -Wall -Wextra -Werror -mwindows -static "$root/tests/windows/standin.c" -lshell32)
"${cc[@]}" -o "$client/updater.exe"
"${cc[@]}" -o "$decoy/powershell.exe"   # in the working folder of the launcher that updates: must never run
"${cc[@]}" -DPOWERSHELL -o "$ps/powershell.exe"

profile="$WINEPREFIX/drive_c/users/$(id -un)"
inst="$profile/AppData/Local/Programs/VELOR RP Launcher"
instwin='C:\users\'"$(id -un)"'\AppData\Local\Programs\VELOR RP Launcher'
logged() { grep -c "$1" "$profile/AppData/Local/VELOR RP/VELOR RP Launcher/logs/launcher.log"; }
publish() {   # publish <build> <version> [a file that makes the archive another]: signed, as the version answer
    zip -q -0 -j "$work/release/$1.zip" "$out/$1/VelorLauncher-$2-Setup.exe" ${3:+"$root/$3"}
    "$VELOR_UPDATESIGN" sign "$work/update.key" "$work/release/$1.zip" "$2" "$api/files/$1.zip" >"$work/release/version.json"
}
restart() {   # ends the launcher on the screen and starts it again
    local running=$(xdotool getwindowpid "$(launcher_windows)")
    win taskkill /im VelorLauncher.exe >/dev/null
    until_ok 30 eval "! kill -0 $running"
    win "$inst/VelorLauncher.exe" &
}
box_once() {   # the previous launcher's window with one box «Ошибка обновления», closed with Return
    until_ok 240 update_error_box
    until_ok 30 eval 'box=$(update_error_box) && xdotool key --window "$box" Return; ! update_error_box'
    window_count_is 1
    cmp "$inst/VelorLauncher.exe" "$out/next/VelorLauncher.exe"
}

step="on Windows 7 the installer fails and installs nothing"
win winecfg /v win7
absent win "$out/current/VelorLauncher-1.1.9-Setup.exe" /VERYSILENT
absent test -e "$inst"
win winecfg /v win10

step="silent install"
win "$out/current/VelorLauncher-1.1.9-Setup.exe" /VERYSILENT

step="scheme keys, uninstall entry and files"
scheme='HKCU\Software\Classes\velorlauncher'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelorLauncher'
[ "$(reg_value "$scheme" 'URL Protocol')" = "REG_SZ " ]
[ "$(reg_value "$scheme\\shell\\open\\command" '(Default)')" = "REG_SZ \"$instwin\\VelorLauncher.exe\" \"%1\"" ]
[ "$(reg_value "$uninstall" DisplayVersion)" = "REG_SZ 1.1.9" ]
cmp "$inst/VelorLauncher.exe" "$out/current/VelorLauncher.exe"
test -f "$profile/Desktop/VELOR RP Launcher.lnk"
osslsigncode verify -CAfile "$work/cert.pem" -in "$inst/Uninstall.exe"

step="an install that cannot write or swap the exe fails with exit code 2 and leaves the old one"
for blocked in new old; do
    mkdir -p "$inst/VelorLauncher.exe.$blocked/x"
    rc=0 && win "$out/next/VelorLauncher-1.2.0-Setup.exe" /VERYSILENT || rc=$?
    [ $rc = 2 ]
    cmp "$inst/VelorLauncher.exe" "$out/current/VelorLauncher.exe"
    rm -r "$inst/VelorLauncher.exe.$blocked"
done
[ "$(reg_value "$uninstall" DisplayVersion)" = "REG_SZ 1.1.9" ]

step="an install while another program holds the exe open without delete sharing for 5 s waits for it and completes"
"${cc[@]}" -DHOLD -o "$work/holder.exe"
win "$work/holder.exe" "$instwin\\VelorLauncher.exe" &
until_ok 10 test -f "$work/held.txt"
win "$out/current/VelorLauncher-1.1.9-Setup.exe" /VERYSILENT

step="Play through a launch link: the window, the client key, the remembered folder"
win "$inst/VelorLauncher.exe" velorlauncher://connect/1 &
first=$!
until_ok 60 window_count_is 1
until_ok 30 painted   # start-up times are make windows-bench's
[ "$(xwininfo -id "$(launcher_windows)" | grep -cE 'Width: 1081|Height: 659')" = 2 ]
until_ok 30 started_count_is 1
[ "$(reg_value 'HKCU\Software\RAGE-MP' launch2.ip)" = "REG_SZ game.velor-rp.ru" ]
[ "$(reg_value 'HKCU\Software\VELOR RP\Launcher' ragempPath)" = "REG_SZ C:/Games/RAGEMP" ]
[ "$(tr -d '\r' <"$client/started.txt")" = '|C:\Games\RAGEMP' ]   # no arguments, in its folder

step="a second start through the registered command hands its link over"
run_stored "$(reg_value "$scheme\\shell\\open\\command" '(Default)' | sed 's/^REG_SZ //; s|%1|velorlauncher://connect/1|')"
until_ok 30 started_count_is 2
window_count_is 1

step="an installer started while the launcher runs fails with exit code 1 and replaces nothing"
rc=0 && win "$out/next/VelorLauncher-1.2.0-Setup.exe" /VERYSILENT || rc=$?
[ $rc = 1 ]
cmp "$inst/VelorLauncher.exe" "$out/current/VelorLauncher.exe"

step="self-update to 1.2.0: a signed answer, download, Expand-Archive through the stand-in at PowerShell's own path, installer over the running launcher"
win taskkill /im VelorLauncher.exe >/dev/null
until_ok 30 eval '! kill -0 $first'
UPDATE_KEY="$work/update.key" "$root/tools/windows/release.sh" "$out/next" "$work/release" "$api/files" "e2e" >/dev/null
quoted="C:/tmp/it''s [1] Кириллица"   # the launcher's temporary folder as PowerShell must read it: the quote doubled
export VELOR_EXPECT_COMMAND="Expand-Archive -LiteralPath '$quoted/%ls/update.zip' -DestinationPath '$quoted/%ls/files' -Force"
(cd "$decoy" && win "$inst/VelorLauncher.exe") &
until_ok 120 eval '[ "$(reg_value "$uninstall" DisplayVersion)" = "REG_SZ 1.2.0" ]'
until_ok 60 window_count_is 1
cmp "$inst/VelorLauncher.exe" "$out/next/VelorLauncher.exe"
absent test -e "$ps/powershell.log"   # the stand-in found nothing wrong
absent test -e "$decoy/started.txt"

step="an update whose installer fails: it starts the launcher again, which tries once more, then gives up"
mkdir -p "$inst/VelorLauncher.exe.new/x"
publish unhealthy 1.2.1
restart
box_once
[ "$(logged 'failed to install 2 times')" = 1 ]
rm -r "$inst/VelorLauncher.exe.new"

step="a new archive of 1.2.1 fails the installer's health check: the installer puts 1.2.0 back and starts it, twice, then it gives up"
publish unhealthy 1.2.1 README.md
restart
box_once
[ "$(logged 'failed its health check')" = 2 ]

step="1.2.2 crashes at start: its third start puts 1.2.0 back and starts it, which gives up on 1.2.2"
publish crashing 1.2.2
restart
until_ok 120 cmp "$inst/VelorLauncher.exe" "$out/crashing/VelorLauncher.exe"
until_ok 60 eval '[ "$(reg_value "HKCU\\Software\\VELOR RP\\Launcher\\start" unfinished)" = "REG_DWORD 0x1" ]'
absent win "$inst/VelorLauncher.exe"
started=$(date +%s%N)
win "$inst/VelorLauncher.exe"
back=$(shown_after "$started")
box_once
[ "$(logged 'did not get its window up')" = 1 ]
[ "$(logged 'updating from 1.2.0')" = 5 ]   # none of them installed again
win taskkill /im VelorLauncher.exe >/dev/null
until_ok 30 window_count_is 0
started=$(date +%s%N)
win "$inst/VelorLauncher.exe" &
echo "the start that went back showed 1.2.0's window after $back ms, a plain start of 1.2.0 after $(shown_after "$started") ms" >&2

step="silent uninstall removes what the installer wrote, and only that"
win taskkill /im VelorLauncher.exe >/dev/null   # the uninstaller waits for it to end
run_stored "$(reg_value "$uninstall" QuietUninstallString | sed 's/^REG_SZ //')"
until_ok 60 eval '! test -e "$inst"'
absent win reg query "$uninstall" >/dev/null
absent win reg query "$scheme" >/dev/null
absent test -e "$profile/Desktop/VELOR RP Launcher.lnk"
win reg query 'HKCU\Software\VELOR RP\Launcher' /v ragempPath >/dev/null   # not the installer's
echo "Windows end-to-end: all steps passed"
