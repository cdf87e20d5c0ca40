; The files alone: what the setup copies, into the same two folders, and nothing else.
;   makensis -DSTAGE=<folder holding program\ and data\> -DOUT=<installer.exe> copy-only.nsi
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

Section
    SetOutPath "${PROGRAMS}\Velmorra"
    File /r "${STAGE}/program/*.*"
    SetShellVarContext all
    SetOutPath "$APPDATA\Velmorra"
    File /r "${STAGE}/data/*.*"
SectionEnd
