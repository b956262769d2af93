#!/usr/bin/env bash
# Prepares the demo against the simulator at BASE: installers and programs under DEMO_DIR/files,
# the scenario DEMO_DIR/scenario.json, and (once, or again after `scripts/demo --fresh`) a registry in
# which one application is up to date, one needs an upgrade and the others are absent.
# Usage: prepare.sh DEMO_DIR BASE_URL
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
demo=$1
base=$2
files="$demo/files"
apps="$demo/apps"
uninstall="$TESSALY_REGISTRY_ROOT/HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall"
mkdir -p "$files" "$apps" "$uninstall"
cp "$here"/files/icons/*.png "$files/"

# One installer per application: installs a small program and its uninstall tool "tt.exe", registers
# both, and ends with the given exit code. Padded past the 1024 bytes a download must exceed.
make_installer() { # name pathName version exitCode
    local name=$1 path=$2 version=$3 code=$4 dir="$apps/$2"
    cat > "$files/$name" <<INSTALLER
#!/bin/sh
# Demo installer of $path $version.
mkdir -p "$dir" "$uninstall" || exit 3
cat > "$dir/$path.sh" <<'PROGRAM'
#!/bin/sh
# The demo application: shows that it runs until its window is closed.
command -v xmessage >/dev/null && exec xmessage -center "$path $version is running."
sleep 3
PROGRAM
cat > "$dir/tt.exe" <<'TOOL'
#!/bin/sh
# Uninstall tool: removes the program's registry entry and its files.
rm -f "$uninstall/$path.ini" "$dir/$path.sh"
TOOL
: > "$dir/uninst.exe"
chmod +x "$dir/$path.sh" "$dir/tt.exe"
printf '[General]\nDisplayName=%s\nDisplayVersion=%s\nUninstallString=%s\nDisplayIcon=%s\n' \\
    "$path" "$version" "$dir/uninst.exe" "$dir/$path.sh" > "$uninstall/$path.ini"
exit $code
INSTALLER
    for _ in $(seq 1 24); do echo "# ------------------------------------------------------------------" >> "$files/$name"; done
}
make_installer notes-setup.exe TessaNotes 1.2.0.0 0
make_installer photos-setup.exe TessaPhotos 2.0.1.0 0
make_installer music-setup.exe TessaMusic 3.5.0.2 0
make_installer recorder-setup.exe TessaScreenRecorder 5.1.2.0 0
make_installer ocr-setup.exe TessaOcrReader 3.0.0.6 1
make_installer pdf-setup.exe TessaPdfConverter 3.2.0.8 0
# Large enough to watch: the scenario sends these slowly, and the recorder's first download breaks
# half way and is taken up again. Past its `exit` the shell never reads the padding.
pad() { printf '\n' >> "$1"; head -c "$2" /dev/zero | tr '\0' '#' >> "$1"; }
pad "$files/pdf-setup.exe" $((12 * 1024 * 1024))
pad "$files/recorder-setup.exe" $((6 * 1024 * 1024))
head -c 800 "$files/notes-setup.exe" > "$files/broken-setup.exe"
printf "<html><meta charset=utf-8><body><h1>Tessaly 在线客服</h1></body></html>\n" > "$files/kefu.html"

# Seed the registry once: Music up to date, Photos at an older version.
if [ ! -e "$demo/.seeded" ]; then
    rm -f "$uninstall"/*.ini
    TESSALY_REGISTRY_ROOT="$TESSALY_REGISTRY_ROOT" sh "$files/music-setup.exe"
    TESSALY_REGISTRY_ROOT="$TESSALY_REGISTRY_ROOT" sh "$files/photos-setup.exe"
    sed -i 's/^DisplayVersion=.*/DisplayVersion=1.9.0.0/' "$uninstall/TessaPhotos.ini"
    : > "$demo/.seeded"
fi

head_img=$(base64 -w0 "$here/files/icons/demo-photos.png")
notes_sha=$(sha256sum "$files/notes-setup.exe" | cut -d' ' -f1)
sed -e "s|@BASE@|$base|g" -e "s|@FILES@|$files|g" -e "s|@HEADIMG@|$head_img|g" -e "s|@NOTESSHA@|$notes_sha|g" \
    "$here/scenario.json.in" > "$demo/scenario.json"
