#!/usr/bin/env bash
# Builds a small Linux guest and runs the kernel-path test of the hidraw layer in it.
#
#   run_guest.sh CACHE_DIR WORK_DIR DEVICE_PROGRAM TEST_PROGRAM CLI_PROGRAM
#
# CACHE_DIR keeps the guest kernel and its three HID modules between runs (taken from
# Debian's linux-image-amd64 package, downloaded with apt-get download and unpacked with
# dpkg-deb; never installed on this machine). WORK_DIR gets the initramfs and the console
# log. The guest boots under QEMU (TCG; KVM is not needed), loads hid, hid-generic and uhid,
# runs TEST_PROGRAM (which starts DEVICE_PROGRAM as the virtual module), then one backup with
# CLI_PROGRAM (a static lirvan-cli) against DEVICE_PROGRAM, and powers off. The result is the
# PASS/FAIL line of the test program and that of the backup on the guest console.
#
# Environment: LIRVAN_GUEST_KERNEL_DEB=path/to/linux-image-*.deb uses that package instead
# of downloading one (machines without a package mirror).
set -euo pipefail

if [ $# -ne 5 ]; then
    echo "usage: $0 CACHE_DIR WORK_DIR DEVICE_PROGRAM TEST_PROGRAM CLI_PROGRAM" >&2
    exit 2
fi
cache=$1 work=$2 device_program=$3 test_program=$4 cli_program=$5
started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# --- host tools: install what is missing (Debian) ---
missing=()
command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
command -v cpio >/dev/null || missing+=(cpio)
command -v xz >/dev/null || missing+=(xz-utils)
busybox=$(command -v busybox || true)
if [ -z "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then
    missing+=(busybox-static)  # absent, or the dynamically linked one
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    busybox=$(command -v busybox)
fi

# --- guest kernel, cached ---
# Boot entry of the compressed kernel: its payload is found through the boot header
# (setup sectors at 0x1F1, payload offset at 0x248) and unpacked to the ELF vmlinux, which
# QEMU boots directly (PVH entry) in half the time of the compressed image.
extract_vmlinux() {  # extract_vmlinux BZIMAGE OUT
    local image=$1 out=$2 setup offset magic
    setup=$(od -An -tu1 -j $((0x1F1)) -N1 "$image" | tr -d ' ')
    [ "$setup" -eq 0 ] && setup=4
    offset=$(( (setup + 1) * 512 + $(od -An -tu4 -j $((0x248)) -N4 "$image" | tr -d ' ') ))
    magic=$(od -An -tx1 -j "$offset" -N4 "$image" | tr -d ' ')
    case $magic in
    fd377a58) tail -c +$((offset + 1)) "$image" | xz -dc --single-stream >"$out" ;;
    1f8b*)    tail -c +$((offset + 1)) "$image" | gzip -dc >"$out" 2>/dev/null || true ;;
    28b52ffd) tail -c +$((offset + 1)) "$image" | zstd -dcq >"$out" ;;
    *) return 1 ;;
    esac
    [ "$(od -An -c -N4 "$out" | tr -d ' ')" = '177ELF' ]
}

# linux-image-amd64 only depends on the versioned package that holds the kernel.
kernel_package() {
    { apt-cache depends linux-image-amd64 2>/dev/null || true; } |
        awk '/Depends: linux-image-[0-9]/ && !found { print $2; found = 1 }'
}

fetch_kernel() {
    local tmp deb pkg
    tmp=$(mktemp -d "$cache/fetch.XXXXXX")
    if [ -n "${LIRVAN_GUEST_KERNEL_DEB:-}" ]; then
        deb=$LIRVAN_GUEST_KERNEL_DEB
    else
        pkg=$(kernel_package)
        if [ -z "$pkg" ]; then
            as_root apt-get update -qq
            pkg=$(kernel_package)
        fi
        echo "Downloading $pkg (guest kernel, not installed)"
        (cd "$tmp" && apt-get download -q -o APT::Sandbox::User=root "$pkg" >/dev/null) ||
            { as_root apt-get update -qq &&
              (cd "$tmp" && apt-get download -q -o APT::Sandbox::User=root "$pkg" >/dev/null); }
        deb=$(ls "$tmp"/*.deb)
    fi
    # Modules live under lib/modules or, in newer releases, usr/lib/modules.
    dpkg-deb --fsys-tarfile "$deb" |
        tar -x -C "$tmp" --wildcards './boot/vmlinuz-*' '*/drivers/hid/hid.ko*' \
            '*/drivers/hid/hid-generic.ko*' '*/drivers/hid/uhid.ko*'
    mkdir -p "$cache/modules"
    cp "$tmp"/boot/vmlinuz-* "$cache/vmlinuz"
    local m
    for m in hid hid-generic uhid; do
        local ko
        ko=$(find "$tmp" -path "*/drivers/hid/$m.ko*" | head -n1)
        case $ko in
        *.ko)     cp "$ko" "$cache/modules/$m.ko" ;;
        *.ko.xz)  xz -dc "$ko" >"$cache/modules/$m.ko" ;;
        *.ko.zst) zstd -dcq "$ko" >"$cache/modules/$m.ko" ;;
        *.ko.gz)  gzip -dc "$ko" >"$cache/modules/$m.ko" ;;
        esac
    done
    if extract_vmlinux "$cache/vmlinuz" "$cache/vmlinux.tmp"; then
        mv "$cache/vmlinux.tmp" "$cache/vmlinux"
    else
        rm -f "$cache/vmlinux.tmp"  # boot the compressed image instead
    fi
    basename "$(ls "$tmp"/boot/vmlinuz-*)" >"$cache/kernel-version"
    rm -rf "$tmp"
    touch "$cache/complete"
}

mkdir -p "$cache" "$work"
if [ ! -e "$cache/complete" ]; then
    rm -rf "${cache:?}"/*
    fetch_kernel
fi
kernel=$cache/vmlinuz
[ -e "$cache/vmlinux" ] && kernel=$cache/vmlinux
echo "Guest kernel: $(cat "$cache/kernel-version") ($(basename "$kernel")), ready after $(elapsed) s"

# --- initramfs: busybox, the three programs, the modules and /init ---
root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,lib/modules}
cp "$busybox" "$root/bin/busybox"
for program in "$device_program" "$test_program"; do
    strip -o "$root/bin/$(basename "$program")" "$program" 2>/dev/null ||
        cp "$program" "$root/bin/$(basename "$program")"
done
strip -o "$root/bin/lirvan-cli" "$cli_program" 2>/dev/null || cp "$cli_program" "$root/bin/lirvan-cli"
cp "$cache"/modules/*.ko "$root/lib/modules/"
# /dev/console for the kernel's first output; /init also mounts devtmpfs and reopens it, so
# an unprivileged run without mknod works as well.
mknod -m 600 "$root/dev/console" c 5 1 2>/dev/null || true
cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
exec 0</dev/console 1>/dev/console 2>&1
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sys /sys
for m in hid hid-generic uhid; do
    /bin/busybox insmod /lib/modules/\$m.ko || echo "insmod \$m failed"
done
echo "guest up after \$(/bin/busybox cut -d' ' -f1 /proc/uptime) s"
/bin/$(basename "$test_program")
# One backup with lirvan-cli against the virtual module: exit 0, the manifest and the five images.
/bin/$(basename "$device_program") >/tmp/sim.out &
sim=\$!
for i in 1 2 3 4 5 6 7 8 9 10; do /bin/busybox grep -q READY /tmp/sim.out && break; /bin/busybox sleep 1; done
/bin/lirvan-cli backup /tmp/b; backup_status=\$?
/bin/busybox kill \$sim; wait \$sim
result="LIRVAN-CLI-BACKUP: PASS"
for f in config.bin:12 rom.bin:16384 amt.bin:8192 kvp.bin:16384 ram.bin:16384; do
    size=\$(/bin/busybox stat -c %s /tmp/b/\${f%:*} 2>/dev/null)
    [ "\$size" = "\${f#*:}" ] || result="LIRVAN-CLI-BACKUP: FAIL (\${f%:*}: \${size:-missing}, not \${f#*:} bytes)"
done
[ -s /tmp/b/manifest.json ] || result="LIRVAN-CLI-BACKUP: FAIL (no manifest.json)"
[ \$backup_status -eq 0 ] || result="LIRVAN-CLI-BACKUP: FAIL (exit \$backup_status)"
echo "\$result"
/bin/busybox poweroff -f
EOF
chmod 755 "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"
echo "Initramfs $(($(stat -c %s "$work/initrd.cpio") / 1024)) KiB, set-up done after $(elapsed) s"

# --- boot ---
boot_started=$(date +%s.%N)
set +e
timeout 100 qemu-system-x86_64 -nodefaults -no-user-config -accel tcg -m 256 -smp 1 \
    -display none -monitor none -serial stdio -no-reboot \
    -kernel "$kernel" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=4 panic=-1" </dev/null | tee "$work/console.log"
qemu_status=${PIPESTATUS[0]}
set -e
boot_time=$(awk -v a="$boot_started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo "QEMU exit status $qemu_status; boot to result $boot_time s; whole run $(elapsed) s"

if grep -q '^LIRVAN-E2E: PASS' "$work/console.log" &&
   grep -q '^LIRVAN-CLI-BACKUP: PASS' "$work/console.log"; then
    exit 0
fi
grep -q '^LIRVAN-E2E: \(PASS\|FAIL\)' "$work/console.log" || echo "No result line of the test program on the guest console"
grep -q '^LIRVAN-CLI-BACKUP: \(PASS\|FAIL\)' "$work/console.log" || echo "No result line of the backup on the guest console"
exit 1
