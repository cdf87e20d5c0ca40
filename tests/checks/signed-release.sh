#!/usr/bin/env bash
# A signed release, as administrators get it: a throw-away certificate signs vlm.exe before it is
# packed and the setup program after it is built (build/signed, no timestamp server); both
# signatures verify, the winget manifest carries the signed program's hash, and the signed setup
# installs under Wine, through the wizard and silently with the manifest's switches, a vlm.exe
# whose signature still verifies.
#
#   bash tests/checks/signed-release.sh
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TREE=$ROOT/build/signed
export VELMORRA_E2E_BUILD=$TREE
source "$ROOT/tests/e2e/lib/harness.sh"

# A fresh certificate at a fixed path: the tree relinks, so signs again, whenever it changes.
CERT_DIR=$ROOT/build/signed-cert
mkdir -p "$CERT_DIR" "$ROOT/build/logs"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmorra essai/O=Velmorra" \
    -addext extendedKeyUsage=codeSigning -addext keyUsage=critical,digitalSignature \
    -keyout "$CERT_DIR/key.pem" -out "$CERT_DIR/cert.pem" >/dev/null 2>&1 || { echo "FAIL: no certificate"; exit 1; }
log=$ROOT/build/logs/signed-build.log
if ! { bash "$ROOT/scripts/build.sh" tools &&
       cmake -S "$ROOT" -B "$TREE" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw32.cmake" \
           -DVELMORRA_HOST_TOOLS="$ROOT/build/host" -DVELMORRA_PAYLOAD_DIR= \
           -DVELMORRA_SIGN_CERT="$CERT_DIR/cert.pem" -DVELMORRA_SIGN_KEY="$CERT_DIR/key.pem" \
           -DVELMORRA_SIGN_TIMESTAMP= &&
       cmake --build "$TREE" -j"${JOBS:-2}"; } >"$log" 2>&1; then
    echo "FAIL: the signed tree did not build; see $log"
    tail -n 15 "$log"
    exit 1
fi

e2e_begin signed-release

signed_ok() {  # program
    osslsigncode verify -CAfile "$CERT_DIR/cert.pem" -in "$1" >"$E2E_WORK/verify.txt" 2>&1 &&
        grep -q '^Signature verification: ok' "$E2E_WORK/verify.txt" &&
        grep -q '^Message digest algorithm *: SHA256' "$E2E_WORK/verify.txt"
}
check "vlm.exe's signature does not verify" signed_ok "$TREE/vlm.exe"
check "the packed vlm.exe is not the signed one" cmp -s "$TREE/vlm.exe" "$PAYLOAD/vlm.exe"
check "the setup program's signature does not verify" signed_ok "$SETUP_EXE"
tampered=$E2E_WORK/tampered.exe
cp "$SETUP_EXE" "$tampered" && printf 'x' | dd of="$tampered" bs=1 seek=4096 conv=notrunc 2>/dev/null
refused() { ! "$@" >/dev/null 2>&1; }
check "a changed byte still verifies" refused signed_ok "$tampered"

# The manifest of the signed program.
MANIFEST=$(PACKAGING_DIR=$E2E_WORK/packaging bash "$ROOT/scripts/winget-manifest.sh" \
    https://example.org/velmorra/VelmorraSetup.exe "$SETUP_EXE") || fail "no manifest written"
check "an http:// address is accepted" refused env PACKAGING_DIR="$E2E_WORK/p" \
    bash "$ROOT/scripts/winget-manifest.sh" http://example.org/VelmorraSetup.exe "$SETUP_EXE"
manifest_problems=$(MANIFEST=$MANIFEST SHA=$(sha256sum "$SETUP_EXE" | cut -d' ' -f1) python3 - <<'PY'
import glob, os, yaml
docs = {}
for path in glob.glob(os.path.join(os.environ["MANIFEST"], "*.yaml")):
    doc = yaml.safe_load(open(path, encoding="utf-8"))
    docs[doc["ManifestType"]] = doc
problems = []
if sorted(docs) != ["defaultLocale", "installer", "version"]:
    problems.append(f"manifest types {sorted(docs)}")
for doc in docs.values():
    if (doc["PackageIdentifier"], doc["PackageVersion"], doc["ManifestVersion"]) != \
            ("Velmorra.WordProcessor", "2.0.6.0", "1.6.0"):
        problems.append(f"{doc['ManifestType']}: identity {doc['PackageIdentifier']} {doc['PackageVersion']}")
inst = docs.get("installer", {})
want = {"InstallerType": "exe", "Scope": "machine"}
problems += [f"{k}: {inst.get(k)}" for k, v in want.items() if inst.get(k) != v]
if inst.get("InstallerSwitches") != {"Silent": "/S", "SilentWithProgress": "/S",
                                     "InstallLocation": '/D="<INSTALLPATH>"', "Log": '/LOG="<LOGPATH>"'}:
    problems.append(f"switches {inst.get('InstallerSwitches')}")
codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in inst.get("ExpectedReturnCodes", [])}
if codes != {1602: "cancelledByUser", 1618: "installInProgress", 87: "invalidParameter", 112: "diskFull",
             170: "packageInUse", 32: "fileInUse", 1150: "systemNotSupported", 8: "insufficientMemory",
             1603: "contactSupport"}:
    problems.append(f"return codes {codes}")
installers = inst.get("Installers", [{}])
if installers[0].get("InstallerSha256", "").lower() != os.environ["SHA"] or \
        installers[0].get("InstallerUrl") != "https://example.org/velmorra/VelmorraSetup.exe":
    problems.append(f"installer {installers}")
loc = docs.get("defaultLocale", {})
if (loc.get("PackageLocale"), loc.get("Publisher"), loc.get("PackageName")) != \
        ("fr-FR", "Velmorra", "Traitement de texte Velmorra") or not loc.get("License") or not loc.get("ShortDescription"):
    problems.append(f"locale {loc}")
print("\n".join(problems))
PY
)
check_eq "$manifest_problems" "" "problems of the manifest"

# The signed setup installs (every page, the defaults) and the installed vlm.exe keeps its signature.
if [ "$VELMORRA_WIN_ARCH" != 32 ]; then
    echo "   (the signed 32-bit setup is not installed: this machine cannot run 32-bit programs)"
    e2e_end
fi
setup_start
next_to_page 0 4
press "$NEXT"
wait_page 6 60
next_to_page 6 7
finish_without_launch
DEST="$(special_folder 38)\\Velmorra"
check "the installed vlm.exe's signature does not verify" signed_ok "$(unix_path "$DEST\\vlm.exe")"
same_as_payload Licence.txt "$(unix_path "$DEST\\Licence.txt")"

# Silently, with the switches as winget gives them from the manifest.
switch() { sed -n "s/^  $1: //p" "$MANIFEST/Velmorra.WordProcessor.installer.yaml"; }
new_prefix
DEST='C:\Deploiement Velmorra' RUN_LOG='C:\run.log'
location=$(switch InstallLocation)
log=$(switch Log)
wine "$SETUP_EXE" $(switch Silent) "${location/<INSTALLPATH>/$DEST}" "${log/<LOGPATH>/$RUN_LOG}" >/dev/null 2>&1
check_eq "$?" 0 "exit code of the silent installation"
wine_idle
check "the silently installed vlm.exe's signature does not verify" signed_ok "$(unix_path "$DEST\\vlm.exe")"
check "no run log" test -s "$(unix_path "$RUN_LOG")"
e2e_end
