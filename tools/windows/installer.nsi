; The per-user installer of VELOR RP Launcher: no administrator rights, into
; %LOCALAPPDATA%\Programs like other per-user applications, with Start-menu and
; desktop shortcuts, the velorlauncher:// link scheme and an uninstaller.
;
;   makensis -DVERSION=1.1.9 -DEXE=<VelorLauncher.exe> -DICON=<app.ico> -DOUTFILE=<setup.exe> installer.nsi
;
; With -DSIGN=<sign.sh> -DSIGN_CERT=<cert.pem> -DSIGN_KEY=<key.pem> the
; uninstaller it writes is signed too, as the installer and the exe are:
; antivirus heuristics single out unsigned programs that delete files.
;
; Switches, besides NSIS's own /S and /D=<folder> (which must come last):
;   /VERYSILENT           no pages and no boxes, as /S
;   /CLOSEAPPLICATIONS    wait up to 30 s for a running launcher of the install
;                         folder to end (the self-update has just quit it);
;                         exit code 1, with nothing replaced, if it does not
;   /RESTARTAPPLICATIONS  start the installed launcher at the end
; The self-update passes the last three.
;
; Exit codes: 0 installed; 1 the launcher did not end (nothing replaced); 2 the
; installation failed, and the launcher that was there stays as it was, or
; Windows is older than 10 version 1809, which Qt 6 needs (nothing installed).

Unicode true
Target amd64-unicode   ; the default 32-bit stub would need 32-bit Windows support
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
; No file may be skipped: a silent run would otherwise pick "Ignore" for it on
; its own and report success.
AllowSkipFiles off

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include WinVer.nsh

!define NAME "VELOR RP Launcher"
!define PUBLISHER "VELOR RP"
!define EXE_NAME "VelorLauncher.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelorLauncher"
!define SCHEME_KEY "Software\Classes\velorlauncher"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
; An upgrade goes where the earlier version is, so no two copies remain.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!ifdef SIGN
    !uninstfinalize '"${SIGN}" "%1" "${SIGN_CERT}" "${SIGN_KEY}"' = 0
!endif

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Var CloseWaitSeconds
Var Restart

; Waits until the launcher in $INSTDIR can be replaced: a running program's
; file cannot be opened for writing. Interactive runs ask the user to close
; it; silent ones wait $CloseWaitSeconds and then end with exit code 1 before
; anything has been written.
!macro WAIT_FOR_LAUNCHER un
Function ${un}WaitForLauncher
    StrCpy $R1 0
    ${DoWhile} ${FileExists} "$INSTDIR\${EXE_NAME}"
        ClearErrors
        FileOpen $R0 "$INSTDIR\${EXE_NAME}" a
        ${IfNot} ${Errors}
            FileClose $R0
            ${Break}
        ${EndIf}
        ${If} ${Silent}
            IntOp $R1 $R1 + 1
            ${If} $R1 > $CloseWaitSeconds
                SetErrorLevel 1
                Quit
            ${EndIf}
            Sleep 1000
        ${Else}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Закройте ${NAME} и нажмите «Повторить»." IDRETRY +2
            Quit
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro WAIT_FOR_LAUNCHER ""
!insertmacro WAIT_FOR_LAUNCHER "un."

Function .onInit
    SetShellVarContext current
    ; Silent first: a box would hold a silent self-update for good.
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/VERYSILENT" $R1
    ${IfNot} ${Errors}
        SetSilent silent
    ${EndIf}
    ; An exe left on an older Windows would only fail with an entry-point error.
    ${IfNot} ${AtLeastBuild} 17763
        MessageBox MB_OK|MB_ICONSTOP "Для ${NAME} нужна Windows 10 версии 1809 или новее. Ничего не установлено." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    StrCpy $CloseWaitSeconds 0
    ClearErrors
    ${GetOptions} $R0 "/CLOSEAPPLICATIONS" $R1
    ${IfNot} ${Errors}
        StrCpy $CloseWaitSeconds 30
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/RESTARTAPPLICATIONS" $R1
    ${IfNot} ${Errors}
        StrCpy $Restart 1
    ${EndIf}
FunctionEnd

; Moves file $0 to $1 (over an existing $1 when $2 is 1), through to the disk
; before it returns; a failure sets the error flag.
Function MoveThrough
    IntOp $2 $2 | 8 ; MOVEFILE_WRITE_THROUGH (1 is MOVEFILE_REPLACE_EXISTING)
    System::Call 'kernel32::MoveFileExW(w r0, w r1, i r2) i .r3'
    ${If} $3 = 0
        SetErrors
    ${EndIf}
FunctionEnd
!macro MOVE_THROUGH from to replace
    StrCpy $0 "${from}"
    StrCpy $1 "${to}"
    StrCpy $2 ${replace}
    Call MoveThrough
!macroend

; As MoveThrough, tried again for up to 30 s with a pause that grows each
; time: an antivirus scanner or another program may hold a file open for
; seconds, the launcher that has just ended above all.
Function MoveThroughPatiently
    StrCpy $R2 0 ; ms waited
    StrCpy $R3 100 ; the next pause
    ${Do}
        ClearErrors
        Call MoveThrough
        ${IfNot} ${Errors}
            Return
        ${EndIf}
        ${If} $R2 >= 30000
            SetErrors
            Return
        ${EndIf}
        Sleep $R3
        IntOp $R2 $R2 + $R3
        IntOp $R3 $R3 * 2
        ${If} $R3 > 5000
            StrCpy $R3 5000
        ${EndIf}
    ${Loop}
FunctionEnd
!macro MOVE_THROUGH_PATIENTLY from to
    StrCpy $0 "${from}"
    StrCpy $1 "${to}"
    StrCpy $2 1
    Call MoveThroughPatiently
!macroend

; Writes what the system still caches of file $0 to the disk, so that no
; rename reaches the disk before the bytes do; a failure sets the error flag.
Function FlushFile
    System::Call 'kernel32::CreateFileW(w r0, i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r1' ; GENERIC_WRITE, OPEN_EXISTING
    System::Call 'kernel32::FlushFileBuffers(p r1) i .r3'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $3 = 0
        SetErrors
    ${EndIf}
FunctionEnd

; Puts back what an attempt that did not finish left (a power cut, a full
; disk, a killed installer): the old launcher returns to its name if it had
; stepped aside, as earlier installers let it, and the half-written new
; files go. The old launcher is deleted only once a launcher has its name
; again.
Function RestoreOldFiles
    ${IfNot} ${FileExists} "$INSTDIR\${EXE_NAME}"
        !insertmacro MOVE_THROUGH "$INSTDIR\${EXE_NAME}.old" "$INSTDIR\${EXE_NAME}" 0
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\${EXE_NAME}"
        Delete "$INSTDIR\${EXE_NAME}.old"
    ${EndIf}
    Delete "$INSTDIR\${EXE_NAME}.new"
    Delete "$INSTDIR\${UNINSTALLER}.new"
FunctionEnd

; A failure ends the installation with exit code 2 (no box when silent), and
; .onInstFailed puts the old launcher back. ${Errors} clears the flag it reads,
; so each step that may fail is checked at once.
!macro FAIL_ON_ERRORS
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "Не удалось установить ${NAME}; установленная версия осталась прежней." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
!macroend

Function .onInstFailed
    Call RestoreOldFiles
FunctionEnd

Section "Install"
    Call WaitForLauncher
    SetOutPath "$INSTDIR"
    Call RestoreOldFiles
    ; The new files are written beside the old ones under temporary names and
    ; take the real names only once they are whole on the disk, so a power cut
    ; or a full disk never leaves a launcher that does not start. With "try" a
    ; file that cannot be created sets the error flag instead of asking; a
    ; write that fails half-way aborts the installation by itself.
    SetOverwrite try
    ClearErrors
    File "/oname=${EXE_NAME}.new" "${EXE}"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}.new"
    StrCpy $0 "$INSTDIR\${EXE_NAME}.new"
    Call FlushFile
    StrCpy $0 "$INSTDIR\${UNINSTALLER}.new"
    Call FlushFile
    !insertmacro FAIL_ON_ERRORS
    ; Any uninstaller removes any version, so it may take its place first.
    !insertmacro MOVE_THROUGH_PATIENTLY "$INSTDIR\${UNINSTALLER}.new" "$INSTDIR\${UNINSTALLER}"
    !insertmacro FAIL_ON_ERRORS
    ; A copy of the old launcher stays until the new one has its name, which it
    ; takes over the old one in one step: at no moment is there no launcher.
    ${If} ${FileExists} "$INSTDIR\${EXE_NAME}"
        StrCpy $0 "$INSTDIR\${EXE_NAME}"
        StrCpy $1 "$INSTDIR\${EXE_NAME}.old"
        System::Call 'kernel32::CopyFileW(w r0, w r1, i 0) i .r3'
        ${If} $3 = 0
            SetErrors
        ${EndIf}
        !insertmacro FAIL_ON_ERRORS
    ${EndIf}
    !insertmacro MOVE_THROUGH_PATIENTLY "$INSTDIR\${EXE_NAME}.new" "$INSTDIR\${EXE_NAME}"
    !insertmacro FAIL_ON_ERRORS
    Delete "$INSTDIR\${EXE_NAME}.old"

    CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE_NAME}"
    CreateShortCut "$DESKTOP\${NAME}.lnk" "$INSTDIR\${EXE_NAME}"

    ; A web page's velorlauncher://… link starts the launcher with the link.
    WriteRegStr HKCU "${SCHEME_KEY}" "" "URL:${NAME}"
    WriteRegStr HKCU "${SCHEME_KEY}" "URL Protocol" ""
    WriteRegStr HKCU "${SCHEME_KEY}\DefaultIcon" "" '"$INSTDIR\${EXE_NAME}",0'
    WriteRegStr HKCU "${SCHEME_KEY}\shell\open\command" "" '"$INSTDIR\${EXE_NAME}" "%1"'

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE_NAME}",0'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    ${If} $Restart == 1
        Exec '"$INSTDIR\${EXE_NAME}"'
    ${EndIf}
SectionEnd

Function un.onInit
    SetShellVarContext current
    StrCpy $CloseWaitSeconds 30
FunctionEnd

; Removes what the installer wrote and nothing else: the game client's
; Software\RAGE-MP, the launcher's own settings under Software\VELOR RP and
; anything the user put into the folder stay.
Section "Uninstall"
    Call un.WaitForLauncher
    Delete "$INSTDIR\${EXE_NAME}"
    Delete "$INSTDIR\${EXE_NAME}.new"
    Delete "$INSTDIR\${EXE_NAME}.old"
    Delete "$INSTDIR\${UNINSTALLER}.new"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    Delete "$DESKTOP\${NAME}.lnk"
    ; The scheme goes only while it still starts this copy.
    ReadRegStr $0 HKCU "${SCHEME_KEY}\shell\open\command" ""
    ${If} $0 == '"$INSTDIR\${EXE_NAME}" "%1"'
        DeleteRegKey HKCU "${SCHEME_KEY}"
    ${EndIf}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
SectionEnd
