#!/usr/bin/env bash
# DLLs planted beside the setup program (a downloads folder, also its current folder), in the
# destination and in the shared data folder, named like the system DLLs that system code loads
# by bare name, with Wine told to prefer them: a whole installation loads none of them, nor does
# the quiet removal with the same DLLs in the destination and the temporary folder; that removal
# returns 0 once everything is gone.
# Left out: version.dll, which Wine's user32 imports when any process starts, before the
# program's first instruction.
source "$(dirname "$0")/lib/harness.sh"
e2e_begin dll-planting

PROBES="uxtheme dwmapi msimg32 userenv oleacc propsys cryptbase apphelp setupapi"
PROBE_DLL=$E2E_WORK/probe.dll
need "$E2E_CC" -shared -O1 -s -o "$PROBE_DLL" "$E2E_ROOT/tests/e2e/tools/dllprobe.c" \
    "the probe DLL could not be built"

DOWNLOADS=$(unix_path 'C:\Downloads')
DEST_WIN="$(special_folder 38)\\Velmorra"
DATA_WIN="$(special_folder 35)\\Velmorra"
for folder in "$DOWNLOADS" "$(unix_path "$DEST_WIN")" "$(unix_path "$DATA_WIN")"; do
    mkdir -p "$folder"
    for name in $PROBES; do cp "$PROBE_DLL" "$folder/$name.dll"; done
done
cp "$SETUP_EXE" "$DOWNLOADS/"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(tr ' ' ',' <<<"$PROBES")=n,b"

# The control: a program that does not guard itself, started from the same folder, is caught.
printf '#include <windows.h>\nint WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) { return !LoadLibraryA("uxtheme.dll"); }\n' \
    >"$E2E_WORK/control.c"
need "$E2E_CC" -mwindows -O1 -s -o "$DOWNLOADS/control.exe" "$E2E_WORK/control.c" \
    "the control program could not be built"
(cd "$DOWNLOADS" && wine control.exe >/dev/null 2>&1)
check "no probe caught the control program: the probes do not work" grep -q 'control\.exe' "$DOWNLOADS/dll-probes.log"
rm -f "$DOWNLOADS/control.exe" "$DOWNLOADS/dll-probes.log"

cd "$DOWNLOADS" || die "no downloads folder"
SETUP_EXE=$DOWNLOADS/VelmorraSetup.exe setup_start
next_to_page 0 4
install_from_ready 60
cd "$E2E_ROOT" || true

same_as_payload vlm.exe "$(unix_path "$DEST_WIN\\vlm.exe")"
for folder in "$DOWNLOADS" "$(unix_path "$DEST_WIN")" "$(unix_path "$DATA_WIN")"; do
    loaded=$(cat "$folder/dll-probes.log" 2>/dev/null | tr -d '\r' | grep -i 'VelmorraSetup\.exe$')
    check_eq "$loaded" "" "planted DLLs loaded by the setup program from ${folder#$WINEPREFIX/}"
done

TEMP_DIR=$(unix_path "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')")
for name in $PROBES; do cp "$PROBE_DLL" "$TEMP_DIR/$name.dll"; done
wine "$DEST_WIN\\vlm.exe" -ui /S >"$E2E_WORK/removal.log" 2>&1
check_eq "$?" 0 "the quiet removal's exit code"
check_eq "$(ctl dialog 1 2>/dev/null)" "" "a message from the quiet removal"
check_eq "$(cd "$(unix_path "$DEST_WIN")" && ls | grep -iv '\.dll$\|^dll-probes\.log$\|^vlm\.exe$')" "" \
    "what the destination still holds when the removal returns"
check "the uninstall entry is left when the removal returns" test -z "$(uninstall_values)"
wine_idle 30
check "vlm.exe is left" test ! -e "$(unix_path "$DEST_WIN\\vlm.exe")"
check_eq "$(ls -a "$TEMP_DIR" | grep -i '^~vlm')" "" "the removal's copy or its folder left in TEMP"
for folder in "$TEMP_DIR" "$(unix_path "$DEST_WIN")"; do
    check_eq "$(grep -ai 'vlm\.exe' "$folder/dll-probes.log" 2>/dev/null)" "" "planted DLLs loaded by the removal"
done
e2e_end
