#!/bin/bash
# Builds the Windows installer BUILD_DIR/tessaly-<version>-win64.exe from the program folder BUILD_DIR/bin.
# Usage: dist/windows/package.sh BUILD_DIR
set -euo pipefail
export LC_ALL=C

die() { echo "package.sh: $*" >&2; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -eq 1 ] || die "usage: package.sh BUILD_DIR"
build=$(cd "$1" 2>/dev/null && pwd) || die "no such build folder: $1"
bin=$build/bin
[ -f "$bin/tessaly.exe" ] || die "$bin/tessaly.exe is missing; build the program first"
command -v makensis >/dev/null || die "makensis not found (Debian package nsis)"
case $root$build in *[\"\$\\]*) die "the source or build folder's path holds a quote, \$ or backslash" ;; esac

version=$(sed -n 's/^project(Tessaly VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ $version =~ ^[0-9]+(\.[0-9]+){0,3}$ ]] || die "no version in the project(Tessaly VERSION ...) line of CMakeLists.txt"
version4=$version
while [[ $version4 =~ ^[0-9]+(\.[0-9]+){0,2}$ ]]; do version4+=.0; done
configured=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -z "$configured" ] || [ "$configured" = "$version" ] ||
    die "$build was configured for version $configured but CMakeLists.txt says $version; reconfigure and rebuild"

# The running program holds a QSharedMemory segment; on Windows Qt names its file mapping
# "qipc_sharedmemory_" + the key's ASCII letters + the hex SHA-1 of the key's UTF-8 bytes.
key=$(sed -n 's/.*sharedMemoryKey\[\] = "\(.*\)";.*/\1/p' "$root/core/app/singleinstance.h")
[ -n "$key" ] || die "no sharedMemoryKey in core/app/singleinstance.h"
mapping=qipc_sharedmemory_$(printf %s "$key" | tr -cd 'A-Za-z')$(printf %s "$key" | sha1sum | cut -c1-40)

# Every file and folder of bin/ except the test-only platform plugin, as NSIS macros: one installs them,
# one removes exactly those files, one removes the folders, deepest first, where they are empty.
list=$build/tessaly-files.nsh
exclude='platforms/qoffscreen.dll'
bad=$(find "$bin" -mindepth 1 \( -name '*["\\]*' -o -name $'*\n*' -o ! \( -type f -o -type d \) \) -printf '%P\n')
[ -z "$bad" ] || die "cannot package $bin/${bad%%$'\n'*} (a quote or backslash in its name, or not a plain file)"
# What the program itself writes beside it while it runs (work folders, downloaded catalog icons) is
# not shipped: temp/ and res/codec/ go empty, iconImg/ holds only the built-in icons.
shipped() {
    while IFS= read -r f; do
        case $f in
            "$exclude" | temp/* | res/codec/*) ;;
            iconImg/*) [ -f "$root/resources/iconImg/${f#iconImg/}" ] && echo "$f" ;;
            *) echo "$f" ;;
        esac
    done
}
mapfile -t dirs < <(find "$bin" -mindepth 1 -type d -printf '%P\n' | grep -vE '^(temp|res/codec)/' | sort)
mapfile -t files < <(find "$bin" -type f -printf '%P\n' | shipped | sort)

# The installer is made from a staging copy of exactly what ships (the test compares against it).
stage=$build/package
rm -rf "$stage" && mkdir -p "$stage"
for dir in "${dirs[@]}"; do mkdir -p "$stage/$dir"; done
for f in "${files[@]}"; do cp -p "$bin/$f" "$stage/$f"; done
bin=$stage
win() { local p=${1//\$/\$\$}; printf '%s' "${p//\//\\}"; }
{
    echo "; Written by dist/windows/package.sh from $bin"
    echo '!macro TESSALY_INSTALL_FILES'
    for dir in "" "${dirs[@]}"; do
        echo "  SetOutPath \"\$INSTDIR${dir:+\\$(win "$dir")}\""
        for f in "${files[@]}"; do
            if [ "$(dirname "$f")" = "${dir:-.}" ]; then echo "  File \"${bin//\$/\$\$}/${f//\$/\$\$}\""; fi
        done
    done
    echo '  SetOutPath "$INSTDIR"'
    echo '!macroend'
    echo '!macro TESSALY_REMOVE_FILES'
    for f in "${files[@]}"; do echo "  Delete \"\$INSTDIR\\$(win "$f")\""; done
    echo '!macroend'
    echo '!macro TESSALY_REMOVE_FOLDERS'
    for ((i = ${#dirs[@]} - 1; i >= 0; i--)); do echo "  RMDir \"\$INSTDIR\\$(win "${dirs[i]}")\""; done
    echo '!macroend'
} >"$list"

out=$build/tessaly-$version-win64.exe
rm -f "$out"
makensis -V2 -WX -INPUTCHARSET UTF8 \
    "-DVERSION=$version" "-DVERSION4=$version4" "-DFILE_LIST=$list" "-DRUNNING_MAPPING=$mapping" \
    "-DICON_FILE=$root/resources/windows/tessaly.ico" "-DOUT_FILE=$out" \
    "$here/tessaly.nsi" >&2 || die "makensis failed on dist/windows/tessaly.nsi"
[ -s "$out" ] || die "makensis did not write $out"
echo "$out"
