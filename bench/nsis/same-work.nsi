; What "VelmorraSetup.exe /S" does with its default choices, done by NSIS: the same files in the
; same folders, the same registry values (the settings and the uninstall entry), an uninstaller,
; both shortcuts for all users, the check for a running word processor and the association
; command, waited for.
;   makensis -DSTAGE=<folder> -DOUT=<installer.exe> same-work.nsi
; STAGE holds program\ and data\ (what one run of the setup left) and registry.nsh, the values
; that run wrote, as WriteReg lines.
Unicode true
; -DAMD64: a 64-bit installer, beside the setup's x64 twin, on machines that run no 32-bit program.
!ifdef AMD64
    Target amd64-unicode
    !define PROGRAMS "$PROGRAMFILES64"
!else
    !define PROGRAMS "$PROGRAMFILES"
!endif
SetCompressor zlib
Name "Velmorra"
OutFile "${OUT}"
RequestExecutionLevel admin
SilentInstall silent
InstallDir "${PROGRAMS}\Velmorra"

!define LINK "Traitement de texte Velmorra.lnk"
!define DESCRIPTION "Traitement de texte compact, rapide, puissant, et par dessus tout pratique."

Section
    ; The setup refuses to install over a running copy (its window class, as the setup finds it).
    FindWindow $0 "VelmorraStandIn"
    IntCmp $0 0 +3
        SetErrorLevel 5
        Abort

    SetOutPath "$INSTDIR"
    File /r "${STAGE}/program/*.*"
    SetShellVarContext all
    SetOutPath "$APPDATA\Velmorra"
    File /r "${STAGE}/data/*.*"

    !include "${STAGE}/registry.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetOutPath "$INSTDIR"
    ExecWait '"$INSTDIR\vlm.exe" -assoc adpr_cod'
    CreateShortcut "$SMPROGRAMS\${LINK}" "$INSTDIR\vlm.exe" "" "" 0 SW_SHOWNORMAL "" "${DESCRIPTION}"
    CreateShortcut "$DESKTOP\${LINK}" "$INSTDIR\vlm.exe" "" "" 0 SW_SHOWNORMAL "" "${DESCRIPTION}"
SectionEnd

Section Uninstall
    SetShellVarContext all
    Delete "$SMPROGRAMS\${LINK}"
    Delete "$DESKTOP\${LINK}"
    RMDir /r "$APPDATA\Velmorra"
    RMDir /r "$INSTDIR"
SectionEnd
