#!/usr/bin/env bash
# The Windows download: BUILD/lirvan-service-<version>-windows.zip with the programs of the
# Windows build, the user's guide as HTML with pictures of the Win32 window's pages, and
# ПРОЧТИТЕ.txt. The pictures are the demo's own page tour under wine: those the window tests
# left in BUILD/screenshots when they are newer than the demo, else a tour made here.
#   packaging/windows/make_zip.sh BUILD [BUILD32]
# BUILD32, a 32-bit Windows build, adds its programs in the folder 32-bit/.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
build32=${2:+$(cd "$2" && pwd)}
python=/usr/bin/python3  # Debian's, with python3-markdown

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "make_zip: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name=lirvan-service-$version-windows
work=$build/zip
stage=$work/$name
programs=(lirvan-service.exe lirvan-service-demo.exe lirvan-cli.exe)
rm -rf "$work" "$build"/lirvan-service-*-windows.zip
mkdir -p "$stage/guide" "$work/pictures"

demo=$build/bin/lirvan-service-demo.exe
shots=$build/screenshots
fresh=0 all=0
if [ -d "$shots" ]; then
    fresh=$(find "$shots" -name 'page-*.bmp' -newer "$demo" | wc -l)
    all=$(find "$shots" -name 'page-*.bmp' | wc -l)
fi
if [ "$fresh" -eq 0 ] || [ "$fresh" -ne "$all" ]; then
    rm -rf "$shots"
    cmake/wine-gui-run.sh "$build/wineprefix" "$demo" --screenshots "Z:$shots" </dev/null
fi
for bmp in "$shots"/page-*.bmp; do
    convert "$bmp" "$work/pictures/$(basename "$bmp" .bmp).png"
done
"$python" docs/tools/guide.py build docs/ru/guide.md --texts app/texts.h app/form.cpp module/config_settings.h \
    --pictures "$work/pictures" --out "$stage/guide/guide.html"

for p in "${programs[@]}"; do cp "$build/bin/$p" "$stage/"; done
win32_lines=""
if [ -n "$build32" ]; then
    mkdir "$stage/32-bit"
    for p in "${programs[@]}"; do cp "$build32/bin/$p" "$stage/32-bit/"; done
    win32_lines="  32-bit\\\\                  те же программы для 32-разрядной Windows: в ней запускайте их."
fi
# For Notepad of any Windows: UTF-8 with its byte-order mark, lines ending in CR LF.
{
    printf '\xEF\xBB\xBF'
    if [ -n "$win32_lines" ]; then
        sed -e "s/@VERSION@/$version/" -e "s/@WIN32_LINES@/$win32_lines/" packaging/windows/readme-ru.txt
    else
        sed -e "s/@VERSION@/$version/" -e '/@WIN32_LINES@/d' packaging/windows/readme-ru.txt
    fi | sed -e 's/$/\r/'
} >"$stage/ПРОЧТИТЕ.txt"

# Names are stored as UTF-8 with the zip's UTF-8 flag, which Windows' own unpacker honours;
# the file appears whole or not at all.
"$python" - "$work" "$name" "$build/$name.zip" <<'EOF'
import os, sys, zipfile
root, name, out = sys.argv[1:]
with zipfile.ZipFile(out + ".part", "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(os.path.join(root, name)):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, root))
os.replace(out + ".part", out)
EOF
echo "$build/$name.zip"
