#!/bin/sh
# A watch killed outright (no chance to close its files) keeps every CSV row written before the
# kill: each row reaches the file as it is read. The rows must be on disk while the trace runs,
# and each of them whole. Six registers every 200 ms fill a file buffer of some kilobytes only
# after several seconds: rows that wait for it are not on disk in time.
#   watch_csv_cut.sh LIRVAN_CLI
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
csv=$dir/trace.csv
"$cli" --demo watch --every-sample --interval 200 --for 60s --csv "$csv" >/dev/null 2>&1 &
pid=$!
lines() { if [ -f "$csv" ]; then wc -l <"$csv"; else echo 0; fi; }
tries=0
while [ "$(lines)" -lt 8 ]; do
    tries=$((tries + 1))
    if [ $tries -gt 40 ] || ! kill -0 $pid 2>/dev/null; then
        kill -9 $pid 2>/dev/null
        echo "FAIL: $(lines) lines on disk after $tries tries while watch runs"
        exit 1
    fi
    sleep 0.1
done
kill -9 $pid
wait $pid 2>/dev/null
head -n 1 "$csv" | grep -qx 'time_us,register,value,bits' || { echo "FAIL: header: $(head -n 1 "$csv")"; exit 1; }
# Every row whole: time, register, six octal digits, sixteen bits.
if ! tail -n +2 "$csv" | awk -F, 'NF != 4 || $3 !~ /^[0-7][0-7][0-7][0-7][0-7][0-7]$/ || split($4, b, " ") != 16 { bad = 1 } END { exit bad }'; then
    echo "FAIL: a cut row:"; cat "$csv"; exit 1
fi
echo "$(lines) lines kept after the kill"
