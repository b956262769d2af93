#!/bin/bash
# Tests the Windows installer under Wine, in a private prefix that is removed at the end.
# Usage: dist/windows/test-package.sh BUILD_DIR   (after dist/windows/package.sh BUILD_DIR)
# Prints one line per check and stops at the first failure with a non-zero exit code.
set -uo pipefail
# UTF-8, so that Wine can give the shortcuts their Chinese names as Linux file names.
export LC_ALL=C.UTF-8

fail() { echo "FAIL $*"; exit 1; }
check() { local what=$1; shift; if "$@"; then echo "ok   $what"; else fail "$what"; fi; }
not() { ! "$@"; }
# Runs a Windows command line as written: Wine would quote arguments holding spaces, and NSIS reads
# /D= and _?= only unquoted, at the end of the line. cmd /c waits and passes the exit code on.
run() { wine cmd /c "$1" >/dev/null 2>&1; }
wait_for() { local _; for _ in $(seq 60); do "$@" && return 0; sleep 0.5; done; return 1; }

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -eq 1 ] && build=$(cd "$1" 2>/dev/null && pwd) || fail "usage: test-package.sh BUILD_DIR"
version=$(sed -n 's/^project(Tessaly VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
bin=$build/package # what package.sh staged and packed
[ -f "$build/tessaly-$version-win64.exe" ] || fail "$build/tessaly-$version-win64.exe is missing; run dist/windows/package.sh"
key=$(sed -n 's/.*sharedMemoryKey\[\] = "\(.*\)";.*/\1/p' "$root/core/app/singleinstance.h")
mapping=qipc_sharedmemory_$(printf %s "$key" | tr -cd 'A-Za-z')$(printf %s "$key" | sha1sum | cut -c1-40)

work=$(mktemp -d /tmp/tessaly-package-test.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml='
mapfile -t settings < <(compgen -v TESSALY_)
unset QT_QPA_PLATFORM QT_PLUGIN_PATH "${settings[@]}"
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || fail "cannot enter $work"

product=Tessaly软件管家
uninst_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly'
c=$WINEPREFIX/drive_c
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/$product"
links=("$menu/$product.lnk" "$menu/卸载 $product.lnk" "$c/users/Public/Desktop/$product.lnk")
unix() { local p=${1#C:\\}; echo "$c/${p//\\//}"; }

wineboot -i >/dev/null 2>&1 && wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null &&
    wineserver -w || fail "cannot set up a Wine prefix"
cp "$build/tessaly-$version-win64.exe" "$c/package.exe"
# "probe NAME" tells whether a file mapping exists, the way any Windows program would see the running
# program's segment. "probe FILE hold" holds FILE open, not shared for deleting, and says so with a mapping.
x86_64-w64-mingw32-gcc -o "$c/probe.exe" -x c - <<'EOF' || fail "cannot build the probe with x86_64-w64-mingw32-gcc"
#include <windows.h>
int main(int argc, char **argv)
{
    if (argc == 2)
        return OpenFileMappingA(FILE_MAP_READ, FALSE, argv[1]) ? 0 : 1;
    if (CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0) == INVALID_HANDLE_VALUE)
        return 1;
    CreateFileMappingA(INVALID_HANDLE_VALUE, 0, PAGE_READWRITE, 0, 1, "tessaly-test-held");
    Sleep(INFINITE);
}
EOF
copy_holds_segment() { wine 'C:\probe.exe' "$mapping"; }

# wine reg writes in the console code page; under a Chinese locale that is GBK, which iconv reads back.
read_key() { LC_ALL=zh_CN.UTF-8 wine reg query "$uninst_key" /reg:64 2>/dev/null | iconv -f GB18030 -t UTF-8 | tr -d '\r'; }
key_is_gone() { not wine reg query "$uninst_key" /reg:64 >/dev/null 2>&1; }
key_in_32bit_view() { wine reg query "$uninst_key" /reg:32 >/dev/null 2>&1; }
expect() {
    local got; got=$(sed -n "s/^    $1    REG_[A-Z_]*    //p" <<<"$values")
    [ "$got" = "$2" ] || fail "key: $1 is '$got', expected '$2'"
    echo "ok   key: $1 = $2"
}

# What was staged (bin/ less qoffscreen.dll and what the program wrote itself) is installed byte for byte, with uninstall.exe and nothing else.
same_files() {
    diff -r -x qoffscreen.dll -x uninstall.exe "$bin" "$1" && [ ! -e "$1/platforms/qoffscreen.dll" ] &&
        [ -f "$1/uninstall.exe" ] && [ -d "$1/temp" ] && [ -d "$1/res/codec" ]
}
installed_at() {
    local win=$1 dir; dir=$(unix "$1")
    check "files: $win holds the staged files, plus uninstall.exe" same_files "$dir"
    values=$(read_key)
    expect DisplayName "$product"
    expect DisplayVersion "$version"
    expect DisplayIcon "$win\\tessaly.exe"
    expect UninstallString "\"$win\\uninstall.exe\""
    expect Publisher Tessaly
    expect InstallLocation "$win"
    expect NoModify 0x1
    expect NoRepair 0x1
    local size kib n
    size=$(( $(sed -n 's/^    EstimatedSize    REG_DWORD    //p' <<<"$values") ))
    read -r kib n < <(find "$bin" -type f ! -path '*/platforms/qoffscreen.dll' -printf '%s\n' |
        awk '{ s += $1; n++ } END { print int(s / 1024), n }')
    check "key: EstimatedSize $size KiB is the installed files' size ($kib KiB)" [ "$size" -ge "$kib" -a "$size" -le $((kib + n)) ]
    check "key: only in the 64-bit registry view" not key_in_32bit_view
    check "shortcuts: start menu and desktop, to $win" grep -aqF "$win\\tessaly.exe" "${links[0]}" "${links[2]}"
    check "shortcuts: uninstaller in the start menu" grep -aqF "$win\\uninstall.exe" "${links[1]}"
}
removed_from() {
    local dir; dir=$(unix "$1")
    check "uninstalled: key gone" key_is_gone
    check "uninstalled: shortcuts and start menu folder gone" not ls "${links[@]}" "$menu" 2>/dev/null
    check "uninstalled: no installed file left in $1" [ -z "$(find "$dir" -type f ! -path "$dir/temp/*" 2>/dev/null)" ]
}

# A failed first install leaves nothing: a file size limit makes the largest file fail after the smaller
# ones before it were written. One server outlives the run, so the limit only binds the installer.
largest=$(find "$bin" -type f -printf '%s\n' | sort -n | tail -1)
wineserver -p
( trap '' XFSZ; ulimit -f $((largest / 1024 - 1)); run 'C:\package.exe /S /D=C:\New Parent\Tessaly' ); rc=$?
wineserver -k; wineserver -w
check "failed install exits 2 (got $rc)" [ $rc -eq 2 ]
check "failed install removed the folders it had created and written to" not ls "$c/New Parent" 2>/dev/null
check "failed install wrote no key and no shortcuts" eval 'key_is_gone && not ls "${links[@]}" 2>/dev/null'

default='C:\Program Files\Tessaly'
check "silent install into the default folder" run 'C:\package.exe /S'
installed_at "$default"
# The program logs to the console under Wine; its output is dropped.
started() { TESSALY_QUIT_WHEN_SHOWN=1 TESSALY_HTTP_TIMEOUT_MS=1000 timeout 60 wine "$1" >/dev/null 2>&1; }
check "installed program starts and paints its window (exit 0)" started "$default\\tessaly.exe"

TESSALY_HTTP_TIMEOUT_MS=1000 timeout 120 wine "$default\\tessaly.exe" >/dev/null 2>&1 & copy=$!
check "a running copy holds $mapping" wait_for copy_holds_segment
cp "$(unix "$default")/uninstall.exe" "$c/un.exe"
run 'C:\package.exe /S'; rc=$?
check "installer refuses while a copy runs (exit 3, got $rc)" [ $rc -eq 3 ]
run "C:\\un.exe /S _?=$default"; rc=$?
check "uninstaller refuses while a copy runs (exit 3, got $rc)" [ $rc -eq 3 ]
kill $copy; wait $copy
check "the copy has ended" wait_for not copy_holds_segment
check "the refused runs changed no file" same_files "$(unix "$default")"
check "the refused runs kept the key" eval '[ -n "$(read_key)" ]'

timeout 120 wine 'C:\probe.exe' "$default\\tessaly.exe" hold & holder=$!
check "another program holds an installed file open" wait_for wine 'C:\probe.exe' tessaly-test-held
run "C:\\un.exe /S _?=$default"; rc=$?
kill $holder; wait $holder
check "uninstall that cannot delete a file fails (exit 2, got $rc)" [ $rc -eq 2 ]
check "... and keeps the key and uninstall.exe for another try" eval '[ -n "$(read_key)" ] && [ -f "$(unix "$default")/uninstall.exe" ]'

echo downloaded >"$(unix "$default")/temp/download.part"
check "silent uninstall, waited for with _?=" run "C:\\un.exe /S _?=$default"
removed_from "$default"
check "uninstall kept a file it did not install (temp\\download.part)" [ -f "$(unix "$default")/temp/download.part" ]

chosen='C:\Apps\Tessaly Test'
check "silent install with /D=$chosen" run "C:\\package.exe /S /D=$chosen"
installed_at "$chosen"
check "uninstall.exe /S starts (it goes on from a copy in %TEMP%)" wine "$chosen\\uninstall.exe" /S
wineserver -w
removed_from "$chosen"
check "uninstall removed the emptied folder $chosen" not ls "$(unix "$chosen")" 2>/dev/null
echo "all installer checks passed"
