#!/usr/bin/env bash
# Writes the winget manifest (schema 1.6, multi-file) of a built setup program: the version file,
# the installer file (silent switches, exit codes, the program's SHA-256) and the fr-FR locale.
#
#   bash scripts/winget-manifest.sh <https address of the published setup> [VelmorraSetup.exe]
#
# The setup defaults to build/win/VelmorraSetup.exe; sign it first (the hash is of the bytes
# published). The files go to build/packaging/<identifier>/<version>/ (PACKAGING_DIR to change
# build/packaging); the path is printed. Name, version and publisher come from the program's
# resources, the description from its shortcut.
set -euo pipefail
cd "$(dirname "$0")/.."

url=${1:-}
setup=${2:-build/win/VelmorraSetup.exe}
if [[ ! "$url" =~ ^https://[^[:space:]\']+$ ]]; then
    echo "usage: bash scripts/winget-manifest.sh https://<where the setup is published> [VelmorraSetup.exe]" >&2
    exit 2
fi
[ -f "$setup" ] || { echo "winget-manifest: no file $setup (build it: bash scripts/build.sh win)" >&2; exit 1; }

IDENTIFIER=Velmorra.WordProcessor
# The uninstall entry's key: winget finds the installed package by it.
PRODUCT_CODE="'Velmorra Word Processor'"

rc_value() {  # name: a string of the version resource, in UTF-8
    iconv -f CP1252 -t UTF-8 resources/setup.rc | sed -n "s/^ *VALUE \"$1\", \"\(.*\)\"\r\?$/\1/p" | head -n 1
}
version=$(rc_value ProductVersion)
publisher=$(rc_value CompanyName)
name=$(rc_value ProductName)
description=$(sed -n '/kShortcutDescription =/{n;s/^ *"\(.*\)";$/\1/p}' src/install/Finish.cpp)
if [ -z "$version" ] || [ -z "$publisher" ] || [ -z "$name" ] || [ -z "$description" ]; then
    echo "winget-manifest: the name, version, publisher or description was not found in the sources" >&2
    exit 1
fi
# Texts as YAML single-quoted scalars.
quoted() { printf "'%s'" "${1//\'/\'\'}"; }
publisher=$(quoted "$publisher")
name=$(quoted "$name")
description=$(quoted "$description")
sha=$(sha256sum "$setup" | cut -d' ' -f1 | tr a-f A-F)

out=${PACKAGING_DIR:-build/packaging}/$IDENTIFIER/$version
mkdir -p "$out"
rm -f "$out"/*.yaml

header() {  # manifest type
    echo "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.$1.1.6.0.schema.json"
    echo
    echo "PackageIdentifier: $IDENTIFIER"
    echo "PackageVersion: $version"
}

{
    header version
    echo "DefaultLocale: fr-FR"
    echo "ManifestType: version"
    echo "ManifestVersion: 1.6.0"
} >"$out/$IDENTIFIER.yaml"

# The setup's switches and exit codes (README, "Unattended installation").
{
    header installer
    cat <<YAML
InstallerLocale: fr-FR
InstallerType: exe
Scope: machine
InstallModes:
- interactive
- silent
- silentWithProgress
InstallerSwitches:
  Silent: /S
  SilentWithProgress: /S
  InstallLocation: /D="<INSTALLPATH>"
  Log: /LOG="<LOGPATH>"
ExpectedReturnCodes:
- InstallerReturnCode: 1602
  ReturnResponse: cancelledByUser
- InstallerReturnCode: 1618
  ReturnResponse: installInProgress
- InstallerReturnCode: 87
  ReturnResponse: invalidParameter
- InstallerReturnCode: 112
  ReturnResponse: diskFull
- InstallerReturnCode: 170
  ReturnResponse: packageInUse
- InstallerReturnCode: 32
  ReturnResponse: fileInUse
- InstallerReturnCode: 1150
  ReturnResponse: systemNotSupported
- InstallerReturnCode: 8
  ReturnResponse: insufficientMemory
- InstallerReturnCode: 1603
  ReturnResponse: contactSupport
UpgradeBehavior: install
ElevationRequirement: elevatesSelf
FileExtensions:
- rtf
- cod
- doc
- docx
ProductCode: $PRODUCT_CODE
AppsAndFeaturesEntries:
- DisplayName: $name
  Publisher: $publisher
  DisplayVersion: $version
  ProductCode: $PRODUCT_CODE
Installers:
- Architecture: x86
  InstallerUrl: '$url'
  InstallerSha256: $sha
ManifestType: installer
ManifestVersion: 1.6.0
YAML
} >"$out/$IDENTIFIER.installer.yaml"

{
    header defaultLocale
    cat <<YAML
PackageLocale: fr-FR
Publisher: $publisher
PackageName: $name
License: 'Propriétaire (Contrat de Licence du traitement de texte Velmorra)'
ShortDescription: $description
ManifestType: defaultLocale
ManifestVersion: 1.6.0
YAML
} >"$out/$IDENTIFIER.locale.fr-FR.yaml"

echo "$out"
