#!/usr/bin/env bash
# Checks that the built programs can run on Windows 2000: 32-bit GUI, PE header versions 4.0,
# only system DLLs imported and no function that later Windows versions added;
# and that the setup program carries its resources, the "FILES" archive first of all.
# Windows NT 4.0 and 98 must at least load them, so that the setup program's own refusal
# is what the user sees there: header versions exactly 4.0, and no import those systems lack.
#
#   bash tests/checks/pe-check.sh [setup.exe [vlm.exe]]
set -uo pipefail
cd "$(dirname "$0")/../.."
SETUP=${1:-build/win/VelmorraSetup.exe}
VLM=${2:-build/win/vlm.exe}
OBJDUMP=i686-w64-mingw32-objdump

# System DLLs Windows 2000 has that a program may import by name (comctl32 through the manifest).
ALLOWED_DLLS="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comctl32.dll msvcrt.dll"

# Functions added after Windows 2000 SP4. Importing one makes the program fail to start there
# ("entry point not found"); such a function may only be looked up with GetProcAddress.
LATER_FUNCTIONS="
InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW WakeConditionVariable
WakeAllConditionVariable InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared
ReleaseSRWLockExclusive ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete InitializeCriticalSectionEx
FlsAlloc FlsFree FlsGetValue FlsSetValue GetTickCount64 EncodePointer DecodePointer
GetModuleHandleExA GetModuleHandleExW AttachConsole SetDefaultDllDirectories AddDllDirectory
RemoveDllDirectory SetDllDirectoryA SetDllDirectoryW SetSearchPathMode
AddVectoredExceptionHandler RemoveVectoredExceptionHandler AddVectoredContinueHandler
GetLogicalProcessorInformation GetLogicalProcessorInformationEx CreateSymbolicLinkA
CreateSymbolicLinkW GetFinalPathNameByHandleA GetFinalPathNameByHandleW
InterlockedCompareExchange64 InitializeSListHead InterlockedPushEntrySList InterlockedPopEntrySList
SetThreadErrorMode GetErrorMode WTSGetActiveConsoleSessionId IsWow64Process GetNativeSystemInfo
GetSystemWow64DirectoryA GetSystemWow64DirectoryW Wow64DisableWow64FsRedirection
Wow64RevertWow64FsRedirection GetSystemTimes GetProcessId GetThreadId GetProcessIdOfThread
GetCurrentProcessorNumber FlushProcessWriteBuffers QueryFullProcessImageNameA
QueryFullProcessImageNameW GetFileInformationByHandleEx SetFileInformationByHandle CancelIoEx
ReOpenFile CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW CreateSemaphoreExW
CreateWaitableTimerExW SetThreadStackGuarantee HeapSetInformation SetProcessDEPPolicy
GetSystemDEPPolicy RtlCaptureContext RtlCaptureStackBackTrace GetSystemTimePreciseAsFileTime
GetDynamicTimeZoneInformation CreateActCtxA CreateActCtxW ActivateActCtx DeactivateActCtx
ReleaseActCtx GetUserDefaultLocaleName LocaleNameToLCID LCIDToLocaleName CompareStringEx
GetNumaHighestNodeNumber RaiseFailFastException GetProcessHandleCount
RegGetValueA RegGetValueW RegDeleteKeyExA RegDeleteKeyExW RegDeleteTreeA RegDeleteTreeW
RegSetKeyValueA RegSetKeyValueW RegCopyTreeA RegCopyTreeW RegDisablePredefinedCacheEx
SHGetKnownFolderPath SHGetFolderPathAndSubDirA SHCreateItemFromParsingName SHGetStockIconInfo
SHParseDisplayName TaskDialog TaskDialogIndirect LoadIconMetric LoadIconWithScaleDown
SetProcessDPIAware SetProcessDpiAwarenessContext GetDpiForWindow GetSystemMetricsForDpi
SystemParametersInfoForDpi AdjustWindowRectExForDpi EnableNonClientDpiScaling SetDialogDpiChangeBehavior
ChangeWindowMessageFilter ChangeWindowMessageFilterEx PrintWindow GetLayeredWindowAttributes RegisterRawInputDevices
GetRawInputData ShutdownBlockReasonCreate SetWindowDisplayAffinity
_vscprintf _fseeki64 _ftelli64 _get_errno _set_errno
"

# Functions Windows 2000 has but Windows NT 4.0 SP6 or Windows 98 SE, as they ship, lacks (or
# comctl32 4.0, msvcrt 6.0). Their loaders refuse a program importing one before it runs.
OLD_WINDOWS_LACK="
GetFileSizeEx SetFilePointerEx GetLongPathNameA GetLongPathNameW TryEnterCriticalSection
SwitchToThread SignalObjectAndWait IsProcessorFeaturePresent FindFirstFileExA FindFirstFileExW
CopyFileExA CopyFileExW CreateHardLinkA CreateHardLinkW ReplaceFileA ReplaceFileW
MoveFileWithProgressA MoveFileWithProgressW GetVolumePathNameA GetVolumePathNameW
GetVolumeNameForVolumeMountPointA FindFirstVolumeA GetSystemWindowsDirectoryA
GetSystemWindowsDirectoryW GlobalMemoryStatusEx VerifyVersionInfoA VerifyVersionInfoW
VerSetConditionMask GetComputerNameExA GetComputerNameExW CreateJobObjectA AssignProcessToJobObject
OpenThread GetConsoleWindow CreateToolhelp32Snapshot Process32First Process32Next Module32First
Module32Next Thread32First Thread32Next InitializeCriticalSectionAndSpinCount SetCriticalSectionSpinCount
CreateTimerQueue CreateTimerQueueTimer DeleteTimerQueueTimer QueueUserWorkItem RegisterWaitForSingleObject
UnregisterWait ProcessIdToSessionId SetThreadExecutionState GetModuleHandleExA GetModuleHandleExW
GetAncestor MonitorFromWindow MonitorFromPoint MonitorFromRect GetMonitorInfoA GetMonitorInfoW
EnumDisplayMonitors AllowSetForegroundWindow LockSetForegroundWindow SetLayeredWindowAttributes
UpdateLayeredWindow GetLastInputInfo AnimateWindow GetMenuInfo SetMenuInfo IsHungAppWindow
FlashWindowEx RegisterDeviceNotificationA UnregisterDeviceNotification LockWorkStation
GetProcessDefaultLayout SetProcessDefaultLayout EnumDisplaySettingsExA ChangeDisplaySettingsExA
GetGuiResources GetWindowLongPtrA SetWindowLongPtrA GetClassLongPtrA SetClassLongPtrA
AlphaBlend TransparentBlt GradientFill GdiAlphaBlend GdiTransparentBlt GdiGradientFill
SetDCBrushColor SetDCPenColor GetDCBrushColor GetDCPenColor GetFontUnicodeRanges GetGlyphIndicesA
GetGlyphIndicesW AddFontResourceExA RemoveFontResourceExA AddFontMemResourceEx GetTextExtentPointI
GetTextExtentExPointI GetCharABCWidthsI GetCharWidthI SetLayout GetLayout CreateFontIndirectExA
CheckTokenMembership ConvertSidToStringSidA ConvertStringSidToSidA
ConvertStringSecurityDescriptorToSecurityDescriptorA CreateWellKnownSid RegOpenCurrentUser
RegOverridePredefKey RegDisablePredefinedCache RegOpenUserClassesRoot SetSecurityDescriptorControl
CreateProcessWithLogonW SHGetFolderPathA SHGetFolderPathW SHGetSpecialFolderPathA
SHGetSpecialFolderPathW SHCreateDirectoryExA SHCreateDirectoryExW SHGetFolderLocation
ILCreateFromPathA CoWaitForMultipleHandles CoGetObjectContext
InitCommonControlsEx _TrackMouseEvent ImageList_SetImageCount ImageList_Duplicate ImageList_Copy
ImageList_DrawIndirect InitMUILanguage SetWindowSubclass DefSubclassProc RemoveWindowSubclass
InitializeFlatSB DrawShadowText
__iob_func ___lc_codepage_func ___lc_handle_func ___mb_cur_max_func __pctype_func __pwctype_func
_aligned_malloc _aligned_free _aligned_realloc _strtoi64 _strtoui64 _wcstoi64 _wcstoui64 _time64
_ctime64 _localtime64 _gmtime64 _mktime64 _mkgmtime _mkgmtime64 _stat64 _fstat64 _wstat64
_findfirst64 _findnext64 _futime64 _utime64 _ftime64 _resetstkoflw _set_invalid_parameter_handler
_get_invalid_parameter_handler _configthreadlocale _create_locale _free_locale strnlen wcsnlen
_get_output_format _set_output_format
"

failures=0
ok() { echo "ok:   $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

check_header() {  # exe
    local exe=$1 info
    info=$(file -b "$exe")
    case $info in
    "PE32 executable (GUI) Intel 80386"*) ok "$exe is a 32-bit Windows GUI program" ;;
    *) fail "$exe is not a PE32 i386 GUI program: $info" ;;
    esac
    local dump major minor
    dump=$($OBJDUMP -p "$exe")
    for kind in OSystem Subsystem; do
        major=$(awk -v k="Major${kind}Version" '$1 == k {print $2}' <<<"$dump")
        minor=$(awk -v k="Minor${kind}Version" '$1 == k {print $2}' <<<"$dump")
        # 4.0 exactly: NT 4.0 and 98 refuse anything higher, and nothing lower is needed.
        if [ "$major" = 4 ] && [ "$minor" = 0 ]; then
            ok "$exe ${kind} version $major.$minor"
        else
            fail "$exe ${kind} version ${major:-?}.${minor:-?}, not 4.0"
        fi
    done
}

check_imports() {  # exe
    local exe=$1 dump dlls bad_dlls= bad_funcs=
    dump=$($OBJDUMP -p "$exe")
    dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump" | sort -u)
    for dll in $dlls; do
        [[ " $ALLOWED_DLLS " == *" $dll "* ]] || bad_dlls+=" $dll"
    done
    if [ -z "$bad_dlls" ]; then
        ok "$exe imports only system DLLs: $(echo $dlls)"
    else
        fail "$exe imports DLLs that are not system ones:$bad_dlls"
    fi
    # Imported names: the lines "<vma> <hint> <name>" under each "DLL Name:".
    local funcs
    funcs=$(awk '/DLL Name:/ {dll = tolower($3); next}
                 dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +[^ ]+$/ {print dll, $3}
                 /^$/ {dll = ""}' <<<"$dump")
    local dll fn count=0
    while read -r dll fn; do
        [ -n "$fn" ] || continue
        count=$((count + 1))
        if [[ " $(echo $LATER_FUNCTIONS) " == *" $fn "* ]]; then
            bad_funcs+=" $dll!$fn"
        elif [ "$dll" = msvcrt.dll ] && [[ $fn == *_s ]]; then
            bad_funcs+=" $dll!$fn"  # the "secure" CRT functions came with Vista's msvcrt
        fi
    done <<<"$funcs"
    if [ "$count" -eq 0 ]; then
        fail "$exe: no imported function could be read"
    elif [ -z "$bad_funcs" ]; then
        ok "$exe imports $count functions, none newer than Windows 2000"
    else
        fail "$exe imports functions Windows 2000 lacks:$bad_funcs"
    fi
}

# ASLR (dynamic base, 0x40) and DEP (NX compatible, 0x100) are asked for, and the relocations
# that let the loader move the image are in the file.
check_mitigations() {  # exe
    local exe=$1 dump flags
    dump=$($OBJDUMP -p "$exe")
    flags=$(awk '$1 == "DllCharacteristics" {print $2}' <<<"$dump")
    if [ -n "$flags" ] && (((16#$flags & 0x140) == 0x140)); then
        ok "$exe asks for ASLR and DEP (DllCharacteristics $flags)"
    else
        fail "$exe DllCharacteristics ${flags:-?} lack dynamic base (0x40) or NX compatible (0x100)"
    fi
    local relocs
    relocs=$($OBJDUMP -h "$exe" | awk '$2 == ".reloc" {print $3}')
    if [ -n "$relocs" ] && ((16#$relocs > 0)); then
        ok "$exe keeps its base relocations"
    else
        fail "$exe has no .reloc section: it cannot be moved by ASLR"
    fi
}

# The names statically imported that NT 4.0 SP6 or Windows 98 SE lacks; the program must look
# them up with GetProcAddress instead.
check_old_windows_imports() {  # exe
    local exe=$1 lacking=" $(echo $OLD_WINDOWS_LACK) " bad= dll fn
    while read -r dll fn; do
        [[ -n "$fn" && "$lacking" == *" $fn "* ]] && bad+=" $dll!$fn"
    done < <(i686-w64-mingw32-objdump -p "$exe" |
        awk '/DLL Name:/ {dll = tolower($3); next}
             dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +[^ ]+$/ {print dll, $3}
             /^$/ {dll = ""}')
    if [ -z "$bad" ]; then
        ok "$exe imports nothing that Windows NT 4.0 SP6 or 98 SE lacks"
    else
        fail "$exe imports functions Windows NT 4.0 SP6 or 98 SE lacks:$bad"
    fi
}

# Reads the resource tree and the "FILES" archive with a small PE parser.
check_resources() {  # exe
    python3 - "$1" <<'EOF'
import struct, sys, zlib

path = sys.argv[1]
data = open(path, "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
nsections = struct.unpack_from("<H", data, pe + 6)[0]
opt_size = struct.unpack_from("<H", data, pe + 20)[0]
opt = pe + 24
rsrc_rva = struct.unpack_from("<I", data, opt + 96 + 2 * 8)[0]
sections = []
for i in range(nsections):
    s = opt + opt_size + 40 * i
    vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
    sections.append((va, max(vsize, rawsize), raw))

def offset(rva):
    for va, size, raw in sections:
        if va <= rva < va + size:
            return raw + rva - va
    raise ValueError("rva %x outside the sections" % rva)

if rsrc_rva == 0:
    print("      no resources at all")
    sys.exit(1)
base = offset(rsrc_rva)

def entries(table):
    named, ids = struct.unpack_from("<HH", data, base + table + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", data, base + table + 16 + 8 * i)
        if name & 0x80000000:
            at = base + (name & 0x7FFFFFFF)
            n = struct.unpack_from("<H", data, at)[0]
            key = data[at + 2:at + 2 + 2 * n].decode("utf-16-le")
        else:
            key = name
        yield key, target

def leaf(target):
    while target & 0x80000000:
        target = next(entries(target & 0x7FFFFFFF))[1]
    rva, size = struct.unpack_from("<II", data, base + target)
    return data[offset(rva):offset(rva) + size]

tree = {t: {n: target for n, target in entries(tt & 0x7FFFFFFF)} for t, tt in entries(0)}
problems = []
def need(kind, name, label):
    if name not in tree.get(kind, {}):
        problems.append("no %s resource %s" % (label, name))
need(14, 1, "icon")
need(24, 1, "manifest")
for bitmap in ("OPENFOLDER", "CLOSEDFOLDER", "FIXEDDRIVE", "REMOVABLEDRIVE"):
    need(2, bitmap, "bitmap")
for picture in ("LOGO", "LOGOSMALL"):
    if picture not in tree.get("PICTURE", {}):
        problems.append("no picture resource %s" % picture)
        continue
    packed = leaf(tree["PICTURE"][picture])
    dib = zlib.decompress(packed[4:])
    if struct.unpack_from("<I", packed)[0] != len(dib) or struct.unpack_from("<I", dib)[0] != 40:
        problems.append("picture %s is not a packed DIB of the size it says" % picture)
if "FILES" not in tree or "FILES" not in tree["FILES"]:
    problems.append('no resource of type and name "FILES"')
else:
    stream = leaf(tree["FILES"]["FILES"])
    d = zlib.decompressobj()
    archive = d.decompress(stream) + d.flush()
    if not d.eof or d.unused_data:
        problems.append('"FILES" is not exactly one zlib stream')
    names, pos = [], 0
    while pos < len(archive):
        n = archive[pos]
        size = struct.unpack_from("<i", archive, pos + 9 + n)[0]
        names.append(archive[pos + 1:pos + 1 + n].decode("cp1252"))
        pos += 13 + n + size
        if size < 0 or pos > len(archive):
            problems.append('"FILES" has a record running past its end: %r' % names[-1])
            break
    # Every name the component catalogue installs; a missing one would install nothing.
    upper = {n.upper() for n in names}
    for want in ("vlm.exe", "Licence.txt", "Velmorra.chm", "French.asc", "fran\u00e7ais.zlx",
                 "persodicfr.tlx", "English (American).asc", "English (British).asc", "english.zlx",
                 "us.zlx", "uk.zlx", "userdicen.tlx", "English (American).cache",
                 "Coupe de mots.dat", "Basic.asn"):
        if want.upper() not in upper:
            problems.append('"FILES" lacks %r' % want)
    for folder in ("Mod\u00e8les de document\\", "Collections d'inserts\\"):
        if not any(n.upper().startswith(folder.upper()) for n in names):
            problems.append('"FILES" has nothing under %r' % folder)
    if names[:1] != ["vlm.exe"]:
        problems.append('the first file of "FILES" is %r, not vlm.exe' % (names[:1] or [None])[0])
    print("      FILES: %d bytes of zlib, %d inflated, %d files" % (len(stream), len(archive), len(names)))
for p in problems:
    print("      " + p)
sys.exit(1 if problems else 0)
EOF
}

# --- Size and address space of the setup program.

# The program without its "FILES" archive: what every download carries on top of the payload.
# What it measured with the toolchain's own runtime, -Oz and link-time optimisation (289 KB,
# with the hardening against other users, the unattended road, the lists' accessible objects,
# the logos and list glyphs drawn at 150 and 200 % with the code that scales to the DPI
# (28 KB of pictures, 9 KB of code), the folders held by handle and the system's paths taken in
# UTF-16), plus 8 KB: room for the program to grow, not for the
# runtime's heavy parts to come back (the demangler and printf behind the terminate handler,
# the standard error classes with their string, stdio's scanf or printf: 30 to 80 KB each) nor
# for zlib linked whole (10 KB) or the program built file by file (30 KB).
STUB_CEILING=$((298 * 1024))

check_stub_size() {  # exe
    local exe=$1 stub
    [ -n "$FILES_BYTES" ] || { fail "$exe: the FILES resource could not be measured"; return; }
    stub=$(( $(stat -c %s "$exe") - FILES_BYTES ))
    if [ "$stub" -le "$STUB_CEILING" ]; then
        ok "$exe without its FILES archive is $stub bytes (at most $STUB_CEILING)"
    else
        fail "$exe without its FILES archive is $stub bytes, above $STUB_CEILING"
    fi
}

# The setup program's start-up relocator is a lean one that patches nothing, so the linker must
# have made no reference to data a DLL exports (the list of such references is empty in the map).
check_no_data_imports() {  # exe
    local map=${1%.exe}.map size
    if [ ! -f "$map" ]; then
        fail "$map is missing: the references to DLL data cannot be counted"
        return
    fi
    size=$(awk '$2 == "__rt_psrelocs_size" {print $1; exit}' "$map")
    if [ -z "$size" ]; then
        fail "$map does not give the size of the list of references to DLL data"
    elif ((size == 0)); then
        ok "$1 refers to no data exported by a DLL: its start-up has nothing to patch"
    else
        fail "$1 refers to data exported by a DLL ($size bytes of pseudo-relocations), which its start-up does not patch"
    fi
}

# A 32-bit program inflates the whole archive in memory: on 64-bit Windows it gets 4 GB of
# address space instead of 2 only when it says it can use addresses above 2 GB.
check_large_address_aware() {  # exe
    local exe=$1 flags
    flags=$($OBJDUMP -p "$exe" | awk '/^Characteristics/ {print $2}')
    if [ -n "$flags" ] && (( flags & 0x20 )); then
        ok "$exe is large-address-aware"
    else
        fail "$exe is not large-address-aware (characteristics ${flags:-?})"
    fi
}

# The removal runs elevated, its copy from the temporary folder: the word processor's program
# imports only DLLs the system maps from its own list (KnownDLLs), never one found beside it.
KNOWN_DLLS="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll msvcrt.dll"
check_known_dll_imports() {  # exe
    local exe=$1 dll bad=
    for dll in $($OBJDUMP -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u); do
        [[ " $KNOWN_DLLS " == *" $dll "* ]] || bad+=" $dll"
    done
    [ -z "$bad" ] && ok "$exe imports only known DLLs" || fail "$exe imports DLLs the system may search for:$bad"
    grep -q 'level="asInvoker"' "$exe" && ok "$exe carries its manifest (asInvoker)" || fail "$exe has no asInvoker manifest"
}

for exe in "$SETUP" "$VLM"; do
    if [ ! -f "$exe" ]; then
        fail "$exe is missing (build it with: bash scripts/build.sh win)"
        continue
    fi
    check_header "$exe"
    check_imports "$exe"
    check_mitigations "$exe"
    check_old_windows_imports "$exe"
done
[ -f "$VLM" ] && check_known_dll_imports "$VLM"
if [ -f "$SETUP" ]; then
    if resources=$(check_resources "$SETUP"); then
        ok "$SETUP carries its icon, manifest, bitmaps and the FILES archive"
    else
        fail "$SETUP resources"
    fi
    echo "$resources"
    # The archive's size as the resource check read it: the stub is what is left.
    FILES_BYTES=$(sed -n 's/^ *FILES: \([0-9]*\) bytes of zlib.*/\1/p' <<<"$resources")
    check_stub_size "$SETUP"
    check_no_data_imports "$SETUP"
    check_large_address_aware "$SETUP"
fi

[ "$failures" -eq 0 ] && echo "pe-check: all passed" || echo "pe-check: $failures failed"
exit $((failures > 0))
