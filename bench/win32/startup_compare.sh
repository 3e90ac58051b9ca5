#!/bin/sh
# Start-up to window shown and peak working set of the Windows demo against a minimal Win32
# window, both under wine on one virtual display, taken in turns; prints each run and the
# medians with their ratio. Usage: bench/win32/startup_compare.sh BUILD-WIN-DIR [RUNS]
set -eu
build=$(cd "$1" && pwd)
runs=${2:-7}
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
out=$(mktemp -d)
wineserver -w
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    build=$1 runs=$2 out=$3
    wine "$build/bench/minimal_window.exe" --startup-figures "Z:$out/warm" >/dev/null 2>&1 </dev/null
    i=0
    while [ $i -lt $runs ]; do
        wine "$build/bench/minimal_window.exe" --startup-figures "Z:$out/minimal-$i" >/dev/null 2>&1 </dev/null
        wine "$build/bin/lirvan-service-demo.exe" --startup-figures "Z:$out/demo-$i" >/dev/null 2>&1 </dev/null
        i=$((i + 1))
    done
    wineserver -w' sh "$build" "$runs" "$out"
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
for kind in minimal demo; do
    cat "$out"/$kind-* | awk -v k=$kind '{printf "%s: %s ms, peak working set %.1f MB\n", k, $1, $2/1048576}'
done
ms_min=$(cat "$out"/minimal-* | awk '{print $1}' | median)
ms_demo=$(cat "$out"/demo-* | awk '{print $1}' | median)
ws_min=$(cat "$out"/minimal-* | awk '{print $2}' | median)
ws_demo=$(cat "$out"/demo-* | awk '{print $2}' | median)
awk -v a="$ms_min" -v b="$ms_demo" -v c="$ws_min" -v d="$ws_demo" 'BEGIN {
    printf "median start-up: minimal %.1f ms, demo %.1f ms, ratio %.2f\n", a, b, b / a
    printf "median peak working set: minimal %.1f MB, demo %.1f MB, ratio %.2f\n", c/1048576, d/1048576, d / c }'
ls -l "$build"/bin/*.exe | awk '{printf "%s: %d bytes\n", $NF, $5}'
rm -rf "$out"
