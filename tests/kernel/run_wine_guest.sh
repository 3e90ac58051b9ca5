#!/usr/bin/env bash
# The Windows build through wine's own HID stack: a Linux guest under QEMU whose root is this
# machine's (shared read-only over 9p) runs this machine's wine, whose setupapi, hid.dll,
# hidclass.sys and winebus.sys find the guest kernel's hidraw node of the simulated module and
# carry our Windows HID layer's calls to it. No DLL of ours stands in for the system's.
#
#   run_wine_guest.sh CACHE_DIR WORK_DIR LINUX_CLI UHID_PROGRAM USB_PROGRAM EXE_DIR...
#
# CACHE_DIR is the guest kernel's cache (guest_kernel.sh). WORK_DIR is shared with the guest,
# writable: the wine prefixes (made here on the host before the guest starts: a 64-bit Windows
# for a 64-bit build, a 32-bit one for a 32-bit build), the results and, per transport and per
# EXE_DIR, the device program's record and notes, what the programs printed and a screenshot
# of the window; all of it stays there. Each EXE_DIR holds a lirvan-cli.exe and a
# lirvan-service.exe (one build: 64-bit, or 32-bit). LINUX_CLI (the Linux lirvan-cli) makes the
# backup that the Windows programs restore. The simulated module is UHID_PROGRAM through uhid,
# then USB_PROGRAM as a USB gadget behind usbhid. Against each, every
# lirvan-cli.exe runs status, restore of that backup (verified writes of the configuration and
# the three flash images, then the RAM) and a backup (a read of every memory) compared with
# what the module holds at the end, and every lirvan-service.exe runs for a few ticks on a
# virtual display, whose status exchanges must reach the module. Given both builds, the 32-bit
# programs run once more in the 64-bit prefix: a 32-bit program on 64-bit Windows.
# LIRVAN_WINE_TRANSPORTS="uhid" (or "usb") runs over one transport only.
set -euo pipefail

if [ $# -lt 6 ]; then
    echo "usage: $0 CACHE_DIR WORK_DIR LINUX_CLI UHID_PROGRAM USB_PROGRAM EXE_DIR..." >&2
    exit 2
fi
# Absolute paths: the guest sees them in its own root, from another working folder.
cache=$(realpath "$1") work=$(realpath -m "$2") linux_cli=$(realpath "$3")
uhid_program=$(realpath "$4") usb_program=$(realpath "$5")
shift 5
exe_dirs=()
for d in "$@"; do
    if [ -f "$d/lirvan-cli.exe" ]; then exe_dirs+=("$(realpath "$d")")
    else echo "No Windows programs in $d: left out"; fi
done
[ ${#exe_dirs[@]} -gt 0 ] || { echo "No Windows programs to run" >&2; exit 1; }
started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# shellcheck source=guest_kernel.sh
. "$(dirname "$0")/guest_kernel.sh"
install_guest_tools
prepare_guest_kernel "$cache"

mkdir -p "$work"
work=$(cd "$work" && pwd)
share=$work/share

# --- what the programs restore: a backup of the simulated module's demo contents ---
rm -rf "$share/runs" "$share/restore" "$share/results"
mkdir -p "$share/runs"
"$linux_cli" --demo backup "$share/restore" >/dev/null

# --- the programs, in the share: the guest's tmpfs folders (/tmp, /run, /root...) hide
# whatever this machine keeps there ---
arches=()
rm -rf "$share/exe" "$share/bin"
mkdir -p "$share/bin"
for d in "${exe_dirs[@]}"; do
    # The build's name for it: 64 or 32 (bits), from the PE header's machine field.
    machine=$(od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N4 "$d/lirvan-cli.exe") + 4 )) -N2 "$d/lirvan-cli.exe" | tr -d ' ')
    case $machine in 8664) arch=64 ;; 014c) arch=32 ;; *) arch=x$machine ;; esac
    arches+=("$arch")
    mkdir -p "$share/exe/$arch"
    cp "$d/lirvan-cli.exe" "$d/lirvan-service.exe" "$share/exe/$arch/"
done
# Each build in a wine prefix of its own bits; where both builds are there, the 32-bit one also
# on 64-bit Windows, as a 64-bit laptop runs it (NAME:PROGRAM-BITS:PREFIX-BITS).
runs=()
for arch in "${arches[@]}"; do runs+=("$arch:$arch:$arch"); done
[[ " ${arches[*]} " == *" 64 "* && " ${arches[*]} " == *" 32 "* ]] && runs+=("32-on-64:32:64")
cp "$uhid_program" "$share/bin/lirvan-sim-uhid"
cp "$usb_program" "$share/bin/lirvan-sim-usb"
uhid_program=$share/bin/lirvan-sim-uhid usb_program=$share/bin/lirvan-sim-usb

# --- the wine prefixes, made on the host (a first start under TCG would take minutes): a
# 64-bit Windows for the 64-bit build, a 32-bit one for the 32-bit build, as on the workshop's
# 32-bit laptops ---
# winebus.sys of wine 8.0 starts only its SDL bus while SDL is enabled, and never the hidraw
# one: SDL off. The services that start with each wine session and that no program here needs
# (the event log, the network drivers) off: each costs a second or more under emulation. The
# prefixes are kept between runs; the stamp names what was made in them.
{
    echo 'Windows Registry Editor Version 5.00'
    echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\winebus]'
    echo '"Enable SDL"=dword:00000000'
    for service in Eventlog NDIS nsiproxy; do
        echo "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$service]"
        echo '"Start"=dword:00000004'
    done
} >"$share/prefix.reg"
make_prefix() (  # make_prefix 64|32
    prefix=$share/prefix-$1
    [ -f "$prefix/.lirvan-hidraw-2" ] && return
    rm -rf "$prefix"
    export WINEPREFIX=$prefix WINEARCH=win$1 WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml="
    wineboot -i >/dev/null 2>&1 </dev/null
    wine regedit /S "$share/prefix.reg" >/dev/null 2>&1 </dev/null
    wineserver -w
    touch "$prefix/.lirvan-hidraw-2"
)
rm -rf "$share/prefix"  # the one prefix of earlier runs
# Both at once: wineboot waits on its own processes more than it computes.
for arch in "${arches[@]}"; do make_prefix "$arch" & done
wait
for arch in "${arches[@]}"; do
    [ -f "$share/prefix-$arch/.lirvan-hidraw-2" ] || { echo "No wine prefix for the $arch-bit build" >&2; exit 1; }
done
echo "Wine prefixes ready after $(elapsed) s"

# --- the script the guest runs in this machine's root ---
cat >"$share/guest.sh" <<EOF
#!/bin/bash
# Runs inside the guest, in this machine's root; see run_wine_guest.sh.
set -u
share=$share
# Every wine process on the virtual display: a window cannot join a wineserver whose first
# programs started without one. No menu entries (winemenubuilder, which would also start a
# desktop process at each session's start).
export WINEDEBUG=-all HOME=/root LANG=C.UTF-8 DISPLAY=:7 \
       WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml="
transports="${LIRVAN_WINE_TRANSPORTS:-uhid usb}"
runs=(${runs[*]})
uhid_program=$uhid_program
usb_program=$usb_program
EOF
cat >>"$share/guest.sh" <<'EOF'
failures=0
check() {  # check OK WHAT
    if [ "$1" = 0 ]; then echo "  ok   $2"; else echo "  FAIL $2"; failures=$((failures + 1)); fi
}
now() { cut -d' ' -f1 /proc/uptime; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
# The loader of the program's own kind: wine's 32-bit loader would start a 64-bit program
# through a 32-bit start.exe, seconds under emulation for each program.
wine_of() {  # wine_of 64|32
    if [ "$1" = 64 ] && [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else echo wine; fi
}
# Seconds of the first 16 KiB flash read in a lirvan-cli --log file: from its cmd_read_flash
# frame to the last reply before the next frame.
read_time() {
    awk -F'"' '{ split(substr($4, 12, 12), a, ":"); t = a[1] * 3600 + a[2] * 60 + a[3] }
               /"kind":"frame"/ && on { exit }
               /"cmd_read_flash","words":\[[0-9]*,16384,/ && !seen { seen = on = 1; t0 = t }
               on { t1 = t }
               END { if (seen) printf "%.2f", t1 - t0; else printf "?" }' "$1"
}

# A .exe started from the 9p share dies at once: the programs run from a tmpfs.
mkdir -p /tmp/exe
cp -r "$share/exe/." /tmp/exe/
Xvfb :7 -screen 0 1024x768x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb=$!
for i in $(seq 100); do [ -e /tmp/.X11-unix/X7 ] && break; sleep 0.2; done

for t in $transports; do
    run=$share/runs/$t
    mkdir -p "$run/dump"
    echo "transport $t"
    program=$uhid_program
    [ $t = usb ] && program=$usb_program
    "$program" --record "$run/record.txt" --dump "$run/dump" >"$run/sim.out" 2>"$run/sim.log" &
    sim=$!
    for i in $(seq 100); do grep -q READY "$run/sim.out" && break; sleep 0.1; done
    check "$(grep -q READY "$run/sim.out"; echo $?)" "device program ready"
    for kind in "${runs[@]}"; do
        # The run's name (64, 32, or 32-on-64: the 32-bit build on 64-bit Windows), the bits of
        # its programs and those of its wine prefix.
        IFS=: read -r arch bits windows <<<"$kind"
        out=$run/$arch
        mkdir -p "$out"
        # winebus lists hidraw nodes when it starts: a wine session (wineserver, services,
        # winebus) for each module and build. It stays from one program to the next, instead
        # of ending after each and being started again, which costs seconds under emulation.
        export WINEPREFIX=$share/prefix-$windows
        wineserver -p
        cli=/tmp/exe/$bits/lirvan-cli.exe
        wine=$(wine_of $bits)
        # Each command-line run within 4 minutes: a hung one fails its check, not the guest.
        start=$(now)
        timeout 240 "$wine" "$cli" status >"$out/status.txt" 2>&1 </dev/null
        rc=$?
        echo "  status ($arch-bit, the first program of the session): $(took "$start") s"
        check "$( [ $rc = 0 ] && grep -q 'firmware version: 4.36' "$out/status.txt"; echo $?)" \
              "lirvan-cli.exe ($arch-bit) status: exit $rc, firmware 4.36"
        # wine's desktop process (explorer), which the window needs, starts alongside the
        # command-line runs instead of holding up the window by seconds; named by its file,
        # which wine starts directly (a bare name goes through start.exe).
        "$wine" "$WINEPREFIX/drive_c/windows/system32/explorer.exe" /desktop >/dev/null 2>&1 </dev/null &
        start=$(now)
        timeout 240 "$wine" "$cli" --log "Z:/tmp/restore-$t-$arch.json" restore "Z:$share/restore" --ram main >"$out/restore.txt" 2>&1 </dev/null
        rc=$?
        echo "  restore, verified ($arch-bit): $(took "$start") s"
        check "$rc" "lirvan-cli.exe ($arch-bit) restore with verified writes: exit $rc"
        start=$(now)
        mark=$(stat -c %s "$run/record.txt")
        timeout 240 "$wine" "$cli" --log "Z:/tmp/backup-$t-$arch.json" backup "Z:/tmp/backup-$t-$arch" >"$out/backup.txt" 2>&1 </dev/null &
        backup=$!
        # The window starts while the backup runs, once the backup holds the module (its first
        # report has arrived): until the backup lets go, not one report of the window may reach
        # the module; its start-up, seconds under emulation, overlaps the backup's reads.
        for i in $(seq 600); do
            [ "$(stat -c %s "$run/record.txt")" -gt "$mark" ] || ! kill -0 $backup 2>/dev/null && break
            sleep 0.1
        done
        window_start=$(now)
        "$wine" /tmp/exe/$bits/lirvan-service.exe >"$out/window.txt" 2>&1 </dev/null &
        window=$!
        wait $backup
        rc=$?
        # The ROM's 16 KiB within it, timed by the program's own log.
        echo "  backup, every memory ($arch-bit): $(took "$start") s; its 16 KiB read of the ROM:" \
             "$(read_time "/tmp/backup-$t-$arch.json") s of reports"
        check "$rc" "lirvan-cli.exe ($arch-bit) backup: exit $rc"
        cp -r "/tmp/backup-$t-$arch" "$out/backup" 2>/dev/null
        # The programs' own logs of every report, to read a failure or a slow run by.
        cp "/tmp/restore-$t-$arch.json" "/tmp/backup-$t-$arch.json" "$out/" 2>/dev/null
        for f in config rom amt kvp; do
            check "$(cmp -s "$share/restore/$f.bin" "$out/backup/$f.bin"; echo $?)" \
                  "$f.bin read back as restored ($arch-bit)"
        done

        # The window: a few ticks on the virtual display, then a picture of it.
        # What the module received after the backup (the record read from this byte, not whole).
        before=$(stat -c %s "$run/record.txt")
        start=$(now)
        # Three ticks reach the module (one a second once the window runs), or a minute passes.
        # A window that finds no desktop process starts one; wine waits 10 s for it, too short
        # under emulation, and the window then cannot be made ("CreateWindowExW failed"): once
        # the desktop runs, the window gets one more go.
        again=1 first=
        for i in $(seq 240); do
            ticks=$(tail -c +$((before + 1)) "$run/record.txt" | grep -c '^SET [0-9]* \(00 \)\?55 02 ')
            [ -z "$first" ] && [ "$ticks" -ge 1 ] && first=$(took "$start")
            [ "$ticks" -ge 3 ] && break
            if [ $again = 1 ] && ! kill -0 $window 2>/dev/null && grep -q 'CreateWindowExW failed' "$out/window.txt"; then
                again=0
                echo "  window ($arch-bit): made no window while wine's desktop started; once more"
                mv "$out/window.txt" "$out/window-first.txt"
                "$wine" /tmp/exe/$bits/lirvan-service.exe >"$out/window.txt" 2>&1 </dev/null &
                window=$!
            fi
            sleep 0.25
        done
        import -window root "$out/window.png" 2>>"$out/window.txt"
        alive=$(kill -0 $window 2>/dev/null; echo $?)
        # The window's process alone ends; wine's services stay for the next program.
        kill $window 2>/dev/null; wait $window 2>/dev/null
        # A status exchange: cmd_get_status (55 02) as it reaches the module.
        ticks=$(tail -c +$((before + 1)) "$run/record.txt" | grep -c '^SET [0-9]* \(00 \)\?55 02 ')
        echo "  window ($arch-bit): started $(awk -v a="$window_start" -v b="$start" 'BEGIN { printf "%.1f", b - a }') s before the" \
             "backup's end; $ticks status exchanges in $(took "$start") s after it, the first after ${first:-?} s"
        check "$alive" "lirvan-service.exe ($arch-bit) still running after its ticks"
        check "$( [ "$ticks" -ge 3 ]; echo $?)" "lirvan-service.exe ($arch-bit): $ticks status exchanges reached the module"
        check "$( [ -s "$out/window.png" ]; echo $?)" "screenshot of the window ($arch-bit)"
        wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
    done
    kill -TERM $sim; wait $sim
    check "$?" "device program ended cleanly"
    for kind in "${runs[@]}"; do
        arch=${kind%%:*}
        for f in config rom amt kvp ram; do
            check "$(cmp -s "$run/dump/$f.bin" "$run/$arch/backup/$f.bin"; echo $?)" \
                  "$f.bin ($arch-bit) equals what the module holds"
        done
    done
    # Over USB a report carries 64 bytes, through uhid 65: every SET and GET of the record.
    want=$([ $t = usb ] && echo 64 || echo 65)
    odd=$(grep -vc "^\(SET\|GET\) $want " "$run/record.txt")
    check "$( [ "$odd" = 0 ]; echo $?)" "every report reached the module with $want bytes ($(wc -l <"$run/record.txt") reports)"
done
kill $xvfb 2>/dev/null
if [ $failures = 0 ]; then echo "LIRVAN-WINE: PASS"; else echo "LIRVAN-WINE: FAIL ($failures checks failed)"; fi
EOF
chmod 755 "$share/guest.sh"

# --- initramfs: busybox, the modules, and an /init that enters this machine's root ---
root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,mnt,lib/modules}
cp "$busybox" "$root/bin/busybox"
cp "$cache"/modules/*.ko "$root/lib/modules/"
mknod -m 600 "$root/dev/console" c 5 1 2>/dev/null || true
cat >"$root/init" <<EOF
#!/bin/busybox sh
b=/bin/busybox
\$b mount -t devtmpfs dev /dev
exec 0</dev/console 1>/dev/console 2>&1
\$b mount -t proc proc /proc
\$b mount -t sysfs sys /sys
for m in $(echo $(cat "$cache/modules/order")); do
    \$b insmod /lib/modules/\$m.ko || echo "insmod \$m failed"
done
\$b mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose,ro hostroot /mnt ||
    echo "mount of the host's root failed"
for d in /tmp /run /var/tmp /root /var/lib/xkb; do \$b mount -t tmpfs tmp /mnt\$d 2>/dev/null; done
# The writable share after the tmpfs mounts, which would hide it under /tmp.
\$b mkdir -p /mnt$share 2>/dev/null
\$b mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 work /mnt$share
\$b mount -t devtmpfs dev /mnt/dev
\$b mkdir -p /mnt/dev/pts /mnt/dev/shm
\$b mount -t devpts pts /mnt/dev/pts
\$b mount -t tmpfs shm /mnt/dev/shm
\$b mount -t proc proc /mnt/proc
\$b mount -t sysfs sys /mnt/sys
\$b mount -t configfs none /mnt/sys/kernel/config
echo "guest up after \$(\$b cut -d' ' -f1 /proc/uptime) s"
\$b chroot /mnt /bin/bash $share/guest.sh 2>&1 | \$b tee /mnt$share/results
\$b sync
\$b poweroff -f
EOF
chmod 755 "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"
echo "Set-up done after $(elapsed) s"

# --- boot: without SMAP, which QEMU's TCG gets wrong for wine's return to user mode; the
# host's file systems under / remapped to inode numbers of their own (/proc and /sys would
# otherwise be taken for one another) ---
set +e
# The emulator's CPU time as well as the wall time: on a busy machine the first tells what the
# run costs on a quiet one.
TIMEFORMAT='%U %S'
{ time timeout "${LIRVAN_WINE_GUEST_TIMEOUT:-1000}" qemu-system-x86_64 -nodefaults -no-user-config -accel tcg -cpu max,-smap -m 1536 -smp 2 \
    -display none -monitor none -serial stdio -no-reboot -nic none \
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -fsdev local,id=work,path="$share",security_model=none \
    -device virtio-9p-pci,fsdev=work,mount_tag=work \
    -kernel "$kernel" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=4 panic=-1" </dev/null >"$work/console.log" 2>&1; } 2>"$work/guest-cpu"
qemu_status=$?
set -e
cat "$work/console.log"
echo "QEMU exit status $qemu_status; whole run $(elapsed) s; the emulator's CPU time" \
     "$(awk '{ printf "%.0f s (user %.0f, system %.0f)", $1 + $2, $1, $2 }' "$work/guest-cpu")"
if grep -q '^LIRVAN-WINE: PASS' "$work/console.log"; then exit 0; fi
grep -q '^LIRVAN-WINE: FAIL' "$work/console.log" || echo "No result line on the guest console"
# A copy that the next run (the test run's second go, say) leaves alone.
rm -rf "$work/failed"; mkdir -p "$work/failed"
cp -r "$work/console.log" "$share/runs" "$work/failed/" 2>/dev/null || true
echo "Kept: the guest's console in $work/failed/console.log; records, device notes, outputs and" \
     "screenshots in $work/failed/runs"
exit 1
