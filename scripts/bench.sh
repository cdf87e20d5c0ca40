#!/usr/bin/env bash
# Runs the benchmarks and prints their figures: each against a baseline measured in the same run,
# as a ratio of medians, with its target.
#
#   bash scripts/bench.sh [host|wine|peer|finish]...     default: the first three
#
#   host   build/bench-host (optimised): the archive reader's start-up against zlib's one-pass
#          inflate, the install thread against plain writes, over real files in /tmp, and a
#          100 000-line "Install.log" and "Update.log" taking 10 000 more lines (under a second)
#   wine   build/win (the product's compiler and options): the same two against zlib and
#          CopyFileA, and the peak memory of a whole installation, under Wine
#   peer   the whole setup program (start-up to the first page, then Next on the ready page to
#          the associations page, driven from outside), then "VelmorraSetup.exe /S", each against
#          two silent NSIS installers (zlib, bench/nsis/): "copy only", the same files in the same
#          folders, and "same work", which also writes the settings and the uninstall entry, an
#          uninstaller, both shortcuts, checks for a running word processor and runs and waits
#          for its association command; all three in turn, whole processes, under Wine. Target:
#          below 1.0 against the same work for /S, and for the wizard on the large payload. It
#          checks first that the same work leaves the same files as the setup. On the demo
#          payload, and on one 13 times larger (about 150 MB, built once in build/bench-large;
#          LARGE_SCALE to change). Installs Debian's nsis when makensis is missing.
#   finish the wizard under Wine, walked to its last page and "&Terminer" pressed with the launch
#          box checked: the time to the end of the process (target: under 2 s), and the longest
#          the wizard left messages unanswered while on screen.
#
# PROFILE=1 adds the host install thread's platform calls, counted and timed per run; under Wine:
#   wine build/win/bench/win/velmorra-bench.exe profile 'Z:\path\to\files.bin' 'C:\existing\folder' [runs]
#
# host and wine use the product's archive, build/win/files.bin. RUNS sets the runs per median
# (default 15); PEER_RUNS those of peer, whose runs are whole installations (default 7).
# Exits non-zero when a target is missed.
#
# Where Wine cannot run 32-bit programs (or with VELMORRA_FORCE_X64=1), wine, peer and finish run
# the x64 twin (build/win64) in 64-bit prefixes, against NSIS built for amd64; their first line
# says so, and their figures are not to be compared with those of the 32-bit program.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
RUNS=${RUNS:-15}
JOBS=${JOBS:-2}

parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(host wine peer)
LARGE_SCALE=${LARGE_SCALE:-13}
PEER_RUNS=${PEER_RUNS:-$(( RUNS < 7 ? RUNS : 7 ))}

mkdir -p build/logs
bash scripts/install-deps.sh
source scripts/wine-env.sh
wine_env_probe_arch
WIN=win TOOLCHAIN=toolchain-mingw32 TWIN_NOTE= NSIS_TARGET=()
if [ "$VELMORRA_WIN_ARCH" = 64 ]; then
    WIN=win64 TOOLCHAIN=toolchain-mingw64 NSIS_TARGET=(-DAMD64)
    TWIN_NOTE="; the x64 twin against NSIS amd64: this machine cannot run 32-bit programs"
fi
if ! bash scripts/build.sh $WIN >/dev/null || ! cmake --build build/$WIN -j"$JOBS" --target velmorra-bench \
        >build/logs/bench-win.log 2>&1; then
    echo "bench: the Windows tree did not build; see build/logs/" >&2
    exit 1
fi
ARCHIVE=$ROOT/build/$WIN/files.bin

# The installation's folders and shortcuts in a 32-bit prefix (after wine_env_init).
peer_paths() {
    PROGRAM="$WINEPREFIX/drive_c/Program Files/Velmorra"
    DATA="$WINEPREFIX/drive_c/ProgramData/Velmorra"
    LINKS=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Traitement de texte Velmorra.lnk"
           "$WINEPREFIX/drive_c/users/Public/Desktop/Traitement de texte Velmorra.lnk")
}
peer_clean() { rm -rf "$PROGRAM" "$DATA" "${LINKS[@]}"; }
wine_idle() { timeout 60 wineserver -w; }
# What an installation left: each file with its size (the association command's own logs and
# the shortcuts, whose bytes each installer writes its own way, by name only).
peer_files() {
    find "$PROGRAM" -type f ! -name 'vlm-*.log' ! -name uninstall.exe -printf 'program/%P\t%s\n'
    find "$PROGRAM" -type f -name uninstall.exe -printf 'program/%P\n'
    find "$DATA" -type f -printf 'data/%P\t%s\n'
    local link
    for link in "${LINKS[@]}"; do [ -f "$link" ] && echo "shortcut ${link#"$WINEPREFIX"/}"; done
    return 0
}
# A key's values as NSIS WriteReg lines, as Wine's registry holds them after the setup's run.
reg_to_nsis() {  # root key
    local file=$stage/reg.tmp name value
    wine reg export "$1\\$2" "$file" /y >/dev/null || return 1
    iconv -f UTF-16LE -t UTF-8 "$file" | tr -d '\r' | sed -n 's/^"\([^"]*\)"=\(.*\)$/\1\t\2/p' |
        while IFS=$'\t' read -r name value; do
            case $value in
            dword:*) echo "WriteRegDWORD $1 \"$2\" \"$name\" $((16#${value#dword:}))" ;;
            \"*)
                value=${value#\"} value=${value%\"}
                value=${value//\\\"/\"} value=${value//\\\\/\\}   # .reg escapes
                value=${value//\$/\$\$} value=${value//\"/\$\\\"}  # NSIS escapes
                echo "WriteRegStr $1 \"$2\" \"$name\" \"$value\"" ;;
            esac
        done
    rm -f "$file"
}

missed=0
for part in "${parts[@]}"; do
    case $part in
    host)
        echo "== host ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
        if ! { cmake -S . -B build/bench-host -DCMAKE_BUILD_TYPE=Release &&
               cmake --build build/bench-host -j"$JOBS" --target velmorra-bench; } >build/logs/bench-host.log 2>&1; then
            echo "bench: the host benchmark did not build; see build/logs/bench-host.log" >&2
            exit 1
        fi
        build/bench-host/bench/velmorra-bench "$ARCHIVE" "$RUNS" ${PROFILE:+profile} || missed=1
        ;;
    wine)
        echo "== wine ($(wine --version 2>/dev/null)$TWIN_NOTE)"
        (
            source scripts/wine-env.sh
            trap wine_env_cleanup EXIT
            wine_env_init
            mkdir -p "$WINEPREFIX/drive_c/velmorra-bench"
            exe=$ROOT/build/$WIN/bench/win/velmorra-bench.exe
            archive="Z:${ARCHIVE//\//\\}"
            # Memory first, in a process of its own that has done nothing else.
            status=0
            wine "$exe" memory "$archive" 'C:\velmorra-bench' || status=1
            wine "$exe" speed "$archive" 'C:\velmorra-bench' "$RUNS" || status=1
            exit $status
        ) || missed=1
        ;;
    peer)
        # NSIS is not among the build's packages: the benchmark brings it itself.
        if ! bash scripts/install-deps.sh nsis; then
            echo "bench: NSIS (Debian's nsis) could not be installed" >&2
            exit 1
        fi
        echo "== peer (NSIS $(makensis -VERSION), $(wine --version 2>/dev/null)$TWIN_NOTE)"
        # The large payload: the demo generator scaled up, the same names, in a setup of its own.
        large=$ROOT/build/bench-large
        [ "$WIN" = win64 ] && large=$ROOT/build/bench-large64
        if [ "$(cat "$large/source.scale" 2>/dev/null)" != "$LARGE_SCALE" ]; then
            # The generated files keep fixed dates: the archive is made again by hand.
            rm -rf "$large/source" "$large/source.scale" "$large/files.bin" && mkdir -p "$large"
            build/host/velmorra-demo-payload "$large/source" "$LARGE_SCALE" >build/logs/bench-large.log 2>&1 &&
                echo "$LARGE_SCALE" >"$large/source.scale"
        fi
        if ! { cp -p build/$WIN/vlm.exe "$large/source/vlm.exe" &&
               cmake -S . -B "$large" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$TOOLCHAIN.cmake" \
                   -DVELMORRA_HOST_TOOLS="$ROOT/build/host" -DVELMORRA_PAYLOAD_DIR="$large/source" &&
               cmake --build "$large" -j"$JOBS" --target VelmorraSetup; } >>build/logs/bench-large.log 2>&1; then
            echo "bench: the large setup did not build; see build/logs/bench-large.log" >&2
            exit 1
        fi
        (
            unset DISPLAY   # a private screen: the wizards must not open on a desktop
            source scripts/wine-env.sh
            trap wine_env_cleanup EXIT
            wine_env_init
            peer_paths
            bench=$ROOT/build/$WIN/bench/win/velmorra-bench.exe
            # Wine's note when a program asks for the volume label of Z:, once per start.
            wine() { command wine "$@" 2> >(grep -v 'FS volume label and serial are not available' >&2); }
            status=0
            for label in demo large; do
                setup=$ROOT/build/$WIN/VelmorraSetup.exe archive=$ARCHIVE
                [ $label = large ] && setup=$large/VelmorraSetup.exe archive=$large/files.bin
                echo "peer $label: $(stat -c %s "$setup") bytes of setup, $(stat -c %s "$archive") of them the archive"
                # The NSIS installers hold what one "/S" run of the setup left in place, and write
                # the registry values it wrote.
                stage=$ROOT/build/bench-nsis/$label
                rm -rf "$stage" && mkdir -p "$stage"
                peer_clean
                if ! wine "$setup" /S; then
                    echo "bench: the setup's installation for NSIS failed" >&2
                    status=1
                    continue
                fi
                wine_idle
                peer_files >"$stage/setup-files.txt"
                cp -a "$PROGRAM" "$stage/program" && cp -a "$DATA" "$stage/data"
                # Written by the association command, which each installer runs itself.
                rm -f "$stage/program"/vlm-*.log
                { reg_to_nsis HKCU 'Software\Velmorra Word Processor\Install'
                  reg_to_nsis HKLM 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmorra Word Processor'
                } >"$stage/registry.nsh"
                peer_clean
                for kind in copy-only same-work; do
                    if ! makensis -V1 "${NSIS_TARGET[@]}" -DSTAGE="$stage" -DOUT="$stage/nsis-$kind.exe" "$ROOT/bench/nsis/$kind.nsi" \
                            >build/logs/bench-nsis-$label-$kind.log 2>&1; then
                        echo "bench: makensis failed; see build/logs/bench-nsis-$label-$kind.log" >&2
                        status=1
                        continue 2
                    fi
                done
                echo "peer $label: NSIS installers $(stat -c %s "$stage/nsis-copy-only.exe") bytes (copy only)," \
                    "$(stat -c %s "$stage/nsis-same-work.exe") bytes (same work)"
                # The benchmark's own check: the same work leaves the same files (and its uninstaller).
                wine "$stage/nsis-same-work.exe" /S && wine_idle
                if ! diff <(cat "$stage/setup-files.txt" <(echo "program/uninstall.exe") | sort) \
                          <(peer_files | sort) >"$stage/files.diff"; then
                    echo "bench: NSIS's same work and the setup leave different files; see $stage/files.diff" >&2
                    status=1
                fi
                peer_clean
                win_stage=Z:${stage//\//\\}
                wine "$bench" peer "Z:${setup//\//\\}" "$win_stage\\nsis-copy-only.exe" "$win_stage\\nsis-same-work.exe" \
                    $label "$PEER_RUNS" || status=1
                if [ $label = large ]; then
                    mkdir -p "$WINEPREFIX/drive_c/velmorra-bench"
                    wine "$bench" memory "Z:${archive//\//\\}" 'C:\velmorra-bench' || status=1
                fi
            done
            exit $status
        ) || missed=1
        ;;
    finish)
        echo "== finish ($(wine --version 2>/dev/null), load $(cut -d' ' -f1 /proc/loadavg)$TWIN_NOTE)"
        (
            unset DISPLAY
            source scripts/wine-env.sh
            trap wine_env_cleanup EXIT
            wine_env_init
            setup=Z:${ROOT//\//\\}\\build\\$WIN\\VelmorraSetup.exe
            bench=$ROOT/build/$WIN/bench/win/velmorra-bench.exe
            # Xvfb has no window manager, and Wine waits up to 2 s for one to confirm that a hidden
            # window is withdrawn ("wait_for_withdrawn_state ... timed out" in a +timestamp trace):
            # the same measure with Wine told that no manager runs gives the program's own part.
            echo "finish: as Wine waits for a window manager (Wine's wait included, not judged)"
            wine "$bench" finish "$setup" "${FINISH_RUNS:-5}" || true
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
            echo "finish: Wine told no window manager runs"
            wine "$bench" finish "$setup" "${FINISH_RUNS:-5}"
        ) || missed=1
        ;;
    *) echo "unknown part: $part" >&2; exit 2 ;;
    esac
done
exit $missed
