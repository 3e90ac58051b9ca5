#!/usr/bin/env bash
# Builds a small Linux guest and runs the kernel-path test of the hidraw layer in it.
#
#   run_guest.sh CACHE_DIR WORK_DIR UHID_PROGRAM USB_PROGRAM TEST_PROGRAM CLI_PROGRAM
#
# CACHE_DIR keeps the guest kernel and its modules between runs (guest_kernel.sh). WORK_DIR
# gets the initramfs and the console log, which stays there after a failing run (the device
# programs write their notes to it). The guest boots under QEMU (TCG; KVM is not needed),
# loads the HID drivers (uhid, usbhid) and the virtual USB bus (dummy_hcd with three device
# controllers, libcomposite, FunctionFS), and runs TEST_PROGRAM twice: over uhid, with
# UHID_PROGRAM as the module, and over USB, with USB_PROGRAM as the module: a gadget behind
# usbhid. Each run ends with a backup by CLI_PROGRAM (a static lirvan-cli). The result is the
# PASS/FAIL line of each run on the guest console.
set -euo pipefail

if [ $# -ne 6 ]; then
    echo "usage: $0 CACHE_DIR WORK_DIR UHID_PROGRAM USB_PROGRAM TEST_PROGRAM CLI_PROGRAM" >&2
    exit 2
fi
cache=$1 work=$2 uhid_program=$3 usb_program=$4 test_program=$5 cli_program=$6
started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# shellcheck source=guest_kernel.sh
. "$(dirname "$0")/guest_kernel.sh"
install_guest_tools
prepare_guest_kernel "$cache"
echo "Guest kernel: $(cat "$cache/kernel-version") ($(basename "$kernel")), ready after $(elapsed) s"

# --- initramfs: busybox, the programs, the modules and /init ---
mkdir -p "$work"
root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,lib/modules}
cp "$busybox" "$root/bin/busybox"
install_program() {  # install_program PATH NAME
    strip -o "$root/bin/$2" "$1" 2>/dev/null || cp "$1" "$root/bin/$2"
}
install_program "$uhid_program" lirvan-sim-uhid
install_program "$usb_program" lirvan-sim-usb
install_program "$test_program" hidraw_e2e
install_program "$cli_program" lirvan-cli
# Only the modules of this guest (not 9p: its root is the initramfs).
modules=$(grep -v -e '^9p' -e '^virtio' -e '^netfs$' -e '^fscache$' "$cache/modules/order")
for m in $modules; do cp "$cache/modules/$m.ko" "$root/lib/modules/"; done
# /dev/console for the kernel's first output; /init also mounts devtmpfs and reopens it, so
# an unprivileged run without mknod works as well.
mknod -m 600 "$root/dev/console" c 5 1 2>/dev/null || true
cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
exec 0</dev/console 1>/dev/console 2>&1
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sys /sys
for m in $(echo $modules); do
    options=
    # Three virtual device controllers: the module and its two decoys are three USB devices.
    [ \$m = dummy_hcd ] && options=num=3
    /bin/busybox insmod /lib/modules/\$m.ko \$options || echo "insmod \$m failed"
done
/bin/busybox mount -t configfs none /sys/kernel/config
echo "guest up after \$(/bin/busybox cut -d' ' -f1 /proc/uptime) s"
/bin/hidraw_e2e uhid
/bin/hidraw_e2e usb
/bin/busybox poweroff -f
EOF
chmod 755 "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"
echo "Initramfs $(($(stat -c %s "$work/initrd.cpio") / 1024)) KiB, set-up done after $(elapsed) s"

# --- boot ---
boot_started=$(date +%s.%N)
set +e
timeout 420 qemu-system-x86_64 -nodefaults -no-user-config -accel tcg -m 256 -smp 1 \
    -display none -monitor none -serial stdio -no-reboot \
    -kernel "$kernel" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=4 panic=-1" </dev/null | tee "$work/console.log"
qemu_status=${PIPESTATUS[0]}
set -e
boot_time=$(awk -v a="$boot_started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo "QEMU exit status $qemu_status; boot to result $boot_time s; whole run $(elapsed) s"

status=0
for t in uhid usb; do
    grep -q "^LIRVAN-E2E $t: PASS" "$work/console.log" && continue
    status=1
    grep -q "^LIRVAN-E2E $t: FAIL" "$work/console.log" ||
        echo "No result line of the run over $t on the guest console"
done
[ $status -eq 0 ] || echo "The guest's console, with the device programs' notes, is kept in $work/console.log"
exit $status
