#!/bin/sh
# Start-up to window shown and painted, and peak working set, of the Windows demo against two
# yardsticks: a minimal Win32 window, and the same as a themed program with the tool's manifest
# and one Cyrillic label. All three under wine on one virtual display, taken in turns; prints
# each run, then per program the median and the least of each figure, the demo's ratios to
# both yardsticks and the medians of the phases of its start-up (loaded: the program and its
# DLLs; built: the window and its first page; started: the window's logic; shown: shown and
# painted). Start-up times under wine swing with the machine (the same program may
# take 3x longer in one run than in the next, by the wine server's and X server's wake-ups),
# so both the medians and the least times are given. Then once more each under a wine server
# that logs its requests: the round trips each program makes to its figures, a count that does
# not swing.
# Usage: bench/win32/startup_compare.sh BUILD-WIN-DIR [RUNS]
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
        wine "$build/bench/minimal_themed_window.exe" --startup-figures "Z:$out/themed-$i" >/dev/null 2>&1 </dev/null
        wine "$build/bin/lirvan-service-demo.exe" --startup-figures "Z:$out/demo-$i" >/dev/null 2>&1 </dev/null
        i=$((i + 1))
    done
    wineserver -w
    # Once more each, with a wine server that logs every request, for the counts below.
    wineserver -p -f -d1 2>"$out/requests.log" &
    sleep 1
    wine "$build/bench/minimal_window.exe" --startup-figures "Z:$out/warm" >/dev/null 2>&1 </dev/null
    for kind in minimal:bench/minimal_window.exe themed:bench/minimal_themed_window.exe demo:bin/lirvan-service-demo.exe; do
        from=$(wc -l <"$out/requests.log")
        wine "$build/${kind#*:}" --startup-figures "Z:$out/counted-${kind%%:*}" >/dev/null 2>&1 </dev/null
        sleep 1
        sed -n "$((from + 1)),\$p" "$out/requests.log" >"$out/requests-${kind%%:*}"
    done
    wineserver -k' sh "$build" "$runs" "$out"
for kind in minimal themed demo; do
    cat "$out"/$kind-* | awk -v k=$kind '{printf "%s: %s ms, peak working set %.1f MB\n", k, $1, $2/1048576}'
done
# One line per program: median ms, least ms, median bytes, least bytes.
column() { cat "$out"/$1-* | awk -v c=$2 '{print $c}' | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)], v[1]}'; }
figures() { echo "$(column $1 1) $(column $1 2)"; }
min=$(figures minimal) themed=$(figures themed) demo=$(figures demo)
echo "$min $themed $demo" | awk '{
    printf "start-up, median (least): minimal %.1f (%.1f) ms, themed %.1f (%.1f) ms, demo %.1f (%.1f) ms\n", $1, $2, $5, $6, $9, $10
    printf "demo / minimal: %.2f (%.2f); demo / themed: %.2f (%.2f)\n", $9 / $1, $10 / $2, $9 / $5, $10 / $6
    printf "peak working set, median: minimal %.1f MB, themed %.1f MB, demo %.1f MB; demo / minimal %.2f, demo / themed %.2f\n", $3/1048576, $7/1048576, $11/1048576, $11 / $3, $11 / $7 }'
# Where the demo's start-up goes: the median of each phase it marks, in their order.
cat "$out"/demo-* | awk '{ for (i = 3; i <= NF; i++) { split($i, p, "="); print i, p[1], p[2] } }' |
    sort -k1,1n -k3,3n | awk '{ v[$1] = v[$1] " " $3; n[$1]++; name[$1] = $2 } END {
        printf "demo phases, median ms:"
        for (i = 3; i in v; i++) { split(substr(v[i], 2), a, " "); printf " %s %.1f", name[i], a[int((n[i] + 1) / 2)] }
        print "" }'
# The wine-server requests of each program's own thread from its start to its figures written:
# the same from run to run, where the times swing with the machine's wake-ups; under wine the
# time is mostly these round trips. A program's first thread is the first one started in its
# part of the log; its windows are the create_window requests among them.
for kind in minimal themed demo; do
    awk -v figures="counted-$kind" '
        !thread && / init_first_thread\( / { thread = $1 }
        $1 == thread && / create_file\(/ && index($0, figures) { exit }
        $1 == thread && $2 ~ /^[a-z_]+\($/ { requests++; if ($2 == "create_window(") windows++ }
        END { printf "%s %d %d\n", FILENAME, requests, windows }' "$out/requests-$kind"
done | awk '{ n[NR] = $2; printf "%s: %d wine-server requests to the figures, %d windows made\n", substr($1, index($1, "requests-") + 9), $2, $3 }
    END { printf "requests, demo / minimal: %.2f; demo / themed: %.2f\n", n[3] / n[1], n[3] / n[2] }'
ls -l "$build"/bin/*.exe | awk '{printf "%s: %d bytes\n", $NF, $5}'
rm -rf "$out"
