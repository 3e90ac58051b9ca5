#!/usr/bin/env bash
# Checks the Windows download as a user gets it: unpacks the zip into a folder whose name has
# Cyrillic letters and a space (a USB stick's folder), finds the programs, ПРОЧТИТЕ.txt and the
# guide with every picture it shows, and starts the demo from the unpacked folder under wine
# until its window is shown and painted; with a 32-bit WINEPREFIX32, the 32-bit demo of the
# folder 32-bit/ too, under 32-bit wine.
#   tests/package/check_windows_zip.sh ZIP WINEPREFIX [WINEPREFIX32]
set -euo pipefail
cd "$(dirname "$0")/../.."
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
prefix=$(cd "$2" && pwd)
prefix32=${3:+$(cd "$3" && pwd)}
fail() { echo "windows zip check: $*" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stick="$scratch/Флешка E"
mkdir -p "$stick"

# Every name is stored with the UTF-8 flag; nothing unpacks outside its folder.
/usr/bin/python3 - "$zip" "$stick" <<'EOF' || fail "$zip does not unpack cleanly"
import sys, zipfile
zip_path, target = sys.argv[1:]
with zipfile.ZipFile(zip_path) as z:
    for info in z.infolist():
        name = info.filename
        if name.startswith("/") or ".." in name.split("/"):
            sys.exit(f"unsafe name {name}")
        if any(ord(c) > 127 for c in name) and not info.flag_bits & 0x800:
            sys.exit(f"{name} lacks the UTF-8 flag")
    if z.testzip() is not None:
        sys.exit("a damaged member")
    z.extractall(target)
EOF

folder=$(find "$stick" -mindepth 1 -maxdepth 1 -type d)
[ "$(basename "$folder")" = "$(basename "$zip" .zip)" ] || fail "the zip's folder is $(basename "$folder")"
for f in lirvan-service.exe lirvan-service-demo.exe lirvan-cli.exe ПРОЧТИТЕ.txt guide/guide.html; do
    [ -s "$folder/$f" ] || fail "$f missing"
done
head -c 3 "$folder/ПРОЧТИТЕ.txt" | cmp -s - <(printf '\xEF\xBB\xBF') || fail "ПРОЧТИТЕ.txt has no UTF-8 mark"
grep -q $'\r$' "$folder/ПРОЧТИТЕ.txt" || fail "ПРОЧТИТЕ.txt lines do not end in CR LF"
[ -z "$prefix32" ] || [ -d "$folder/32-bit" ] || fail "no 32-bit/ folder"
if [ -d "$folder/32-bit" ]; then
    for f in lirvan-service.exe lirvan-service-demo.exe lirvan-cli.exe; do
        [ -s "$folder/32-bit/$f" ] || fail "32-bit/$f missing"
    done
fi
pictures=0
for picture in $(grep -o '<img [^>]*src="[^"]*"' "$folder/guide/guide.html" | sed 's/.*src="//; s/"$//'); do
    [ -s "$folder/guide/$picture" ] || fail "the guide's picture $picture missing"
    file "$folder/guide/$picture" | grep -q 'PNG image data' || fail "$picture is no PNG"
    pictures=$((pictures + 1))
done
[ "$pictures" -ge 10 ] || fail "the guide shows $pictures pictures"

# The demo from the unpacked folder: its start-up figures are written once the window is shown
# and painted, then it quits by itself.
start_demo() {  # start_demo PREFIX DEMO.exe
    rm -f "$scratch/figures.txt"
    cmake/wine-gui-run.sh "$1" "$2" --startup-figures "Z:$scratch/figures.txt" </dev/null ||
        fail "the unpacked ${2#"$folder"/} did not run"
    grep -Eq '^[0-9.]+ [0-9]+' "$scratch/figures.txt" 2>/dev/null || fail "the unpacked ${2#"$folder"/} showed no window"
}
start_demo "$prefix" "$folder/lirvan-service-demo.exe"
started="the demo"
if [ -n "$prefix32" ]; then
    start_demo "$prefix32" "$folder/32-bit/lirvan-service-demo.exe"
    started="the 64-bit and the 32-bit demo"
fi
echo "windows zip check: $(basename "$zip"): $pictures pictures, $started started from \"$(basename "$stick")\""
