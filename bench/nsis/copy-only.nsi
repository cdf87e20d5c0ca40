; The files alone: what the setup copies, into the same two folders, and nothing else.
;   makensis -DSTAGE=<folder holding program\ and data\> -DOUT=<installer.exe> copy-only.nsi
Unicode true
SetCompressor zlib
Name "Velmorra"
OutFile "${OUT}"
RequestExecutionLevel admin
SilentInstall silent

Section
    SetOutPath "$PROGRAMFILES\Velmorra"
    File /r "${STAGE}/program/*.*"
    SetShellVarContext all
    SetOutPath "$APPDATA\Velmorra"
    File /r "${STAGE}/data/*.*"
SectionEnd
