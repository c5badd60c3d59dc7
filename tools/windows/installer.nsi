; The per-user installer of VELOR RP Launcher: no administrator rights, into
; %LOCALAPPDATA%\Programs like other per-user applications, with Start-menu and
; desktop shortcuts, the velorlauncher:// link scheme and an uninstaller.
;
;   makensis -DVERSION=1.1.9 -DEXE=<VelorLauncher.exe> -DICON=<app.ico> -DOUTFILE=<setup.exe> installer.nsi
;
; Switches, besides NSIS's own /S and /D=<folder> (which must come last):
;   /VERYSILENT           no pages and no boxes, as /S
;   /CLOSEAPPLICATIONS    wait up to 30 s for a running launcher of the install
;                         folder to end (the self-update has just quit it);
;                         exit code 1, with nothing replaced, if it does not
;   /RESTARTAPPLICATIONS  start the installed launcher at the end
; The self-update passes the last three.

Unicode true
Target amd64-unicode   ; the default 32-bit stub would need 32-bit Windows support
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh

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
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/VERYSILENT" $R1
    ${IfNot} ${Errors}
        SetSilent silent
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

Section "Install"
    Call WaitForLauncher
    SetOutPath "$INSTDIR"
    File "/oname=${EXE_NAME}" "${EXE}"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

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
