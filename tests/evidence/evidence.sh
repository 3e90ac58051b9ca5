#!/bin/sh
# Writes the evidence of the tool's behaviour into OUT: the widget dumps of the Qt window (and of
# the Win32 window, when a Windows build is given), the scripted session of the window's logic,
# and a scripted run of lirvan-cli on its demo module with its support log (times taken out).
# Compare two runs with `diff -r BEFORE AFTER`.
#   tests/evidence/evidence.sh OUT [BUILD [WINDOWS_BUILD]]      (defaults: build, none)
set -eu
out=$(realpath -m "$1")
build=${2:-build}
win=${3:-}
cd "$(dirname "$0")/../.."
rm -rf "$out"
mkdir -p "$out"
nice cmake --build "$build" --target lirvan-evidence lirvan-cli >/dev/null
"$build/tests/evidence/lirvan-evidence" "$out/qt"
rm -rf "$out/qt/scratch"

# lirvan-cli: every subcommand that reaches the module, on the demo module, with its log.
cli="$PWD/$build/cli/lirvan-cli"
work="$out/cli-work"
mkdir -p "$work"
log="$work/traffic.jsonl"
run() {
    code=0
    (cd "$work" && "$cli" --demo --log "$log" "$@" >out.txt 2>err.txt) || code=$?
    { echo "\$ lirvan-cli $*  (exit $code)"; cat "$work/out.txt" "$work/err.txt"; } >>"$out/cli.txt"
}
python3 -c "import sys; sys.stdout.buffer.write(bytes((i*7+3)%256 for i in range(16384)))" >"$work/rom.bin"
python3 -c "import sys; sys.stdout.buffer.write(bytes((i*5+1)%256 for i in range(8192)))" >"$work/lane.bin"
python3 -c "import sys; sys.stdout.buffer.write(bytes((i*3)%256 for i in range(2048)))" >"$work/amtlane.bin"
python3 -c "import sys; sys.stdout.buffer.write(bytes((i*11)%256 for i in range(32768)))" >"$work/ram.bin"
python3 -c "import sys; sys.stdout.buffer.write(bytes([1,2,3,0,1,2,0,1,0,0,0,0]))" >"$work/cfg.bin"
for json in "" --json; do
    run $json status
    run $json config show
    run $json config read cfg-back.bin
    run $json config write cfg.bin
    run $json read rom rom-back.bin
    run $json read amt amt-back.bin
    run $json read kvp kvp-back.bin
    run $json read ram ram-back.bin
    run $json write rom rom.bin
    run $json write rom --low lane.bin --high lane.bin
    run $json write amt --low amtlane.bin --high amtlane.bin --low-74 amtlane.bin --high-74 amtlane.bin
    run $json write kvp rom.bin --no-verify
    run $json write ram ram.bin --bank reserve
    run $json write ram ram.bin
    run $json write amt rom.bin
    run $json regs 170461 170462 170500 9
    run $json set 170462=100001
    run $json cpu stop
    run $json cpu start
    run $json restart
    run $json counters reset
    run $json update --wait 20
    rm -rf "$work/bk"
    run $json backup bk
    run $json restore bk --ram main
    run $json info rom.bin lane.bin amtlane.bin cfg.bin ram.bin
done
run --help
run write --help
sed -E 's/"time":"[^"]*"/"time":"T"/' "$log" >"$out/cli-traffic.jsonl"
(cd "$work" && for f in *-back.bin bk/*.bin; do echo "$f $(cksum <"$f")"; done && cat bk/manifest.json) >"$out/cli-files.txt"
sed -i -E 's/"(created|time|date)": ?"[^"]*"/"\1":"T"/g' "$out/cli-files.txt" "$out/cli.txt"
rm -rf "$work"

if [ -n "$win" ]; then
    nice cmake --build "$win" --target widget_dump >/dev/null
    mkdir -p "$out/win32"
    WINEPREFIX="$PWD/$win/wineprefix" WINEDEBUG=-all xvfb-run -a wine "$win/tests/win32/widget_dump.exe" \
        "Z:$out/win32/widgets-win32.txt" >/dev/null 2>&1
fi
echo "evidence in $out"
