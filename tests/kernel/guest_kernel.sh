# The guest kernel of the kernel-path tests and the modules it loads; sourced by run_guest.sh
# and run_wine_guest.sh.
#
#   prepare_guest_kernel CACHE_DIR    sets $kernel (the image QEMU boots) and fills
#                                     CACHE_DIR/modules with the modules of $guest_modules,
#                                     their dependencies and CACHE_DIR/modules/order (the
#                                     order to load them in)
#
# The kernel comes from Debian's linux-image-amd64 package, downloaded with apt-get download
# and unpacked with dpkg-deb (never installed on this machine), once: the cache keeps it.
# LIRVAN_GUEST_KERNEL_DEB=path/to/linux-image-*.deb uses that package instead of downloading
# one (machines without a package mirror).

# The drivers the guests load (their dependencies come along, loaded first): the HID core and
# its generic driver, uhid, the USB HID driver, the virtual USB bus with FunctionFS, and 9p
# over virtio for a guest whose root is this machine's.
guest_modules="hid hid-generic uhid usbhid dummy_hcd usb_f_fs 9p 9pnet_virtio virtio_pci"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the host's tools of the guests when missing (Debian); sets $busybox.
install_guest_tools() {
    local missing=()
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
}

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

# The modules a module needs, from its "depends=" field.
module_depends() {  # module_depends FILE.ko
    tr '\0' '\n' <"$1" | sed -n 's/^depends=//p' | head -n1 | tr ',' ' '
}

# Unpacks the named modules and everything they depend on from the package into OUT, as
# plain .ko files, and writes OUT/order: each module after those it depends on.
unpack_modules() {  # unpack_modules DEB OUT NAME...
    local deb=$1 out=$2; shift 2
    local tmp listing wanted=("$@") have=() order=() m path
    tmp=$(mktemp -d "$out.XXXXXX")
    listing=$tmp/listing
    dpkg-deb -c "$deb" | awk '{ print $NF }' | grep '\.ko\(\.[a-z]*\)\?$' >"$listing"
    mkdir -p "$out"
    # Each round unpacks what is wanted and not yet there, then wants its dependencies.
    while [ ${#wanted[@]} -gt 0 ]; do
        local patterns=() next=()
        for m in "${wanted[@]}"; do
            [ -e "$out/$m.ko" ] && continue
            # Module names use - and _ alike.
            path=$(grep -E "/${m//[-_]/[-_]}\.ko(\.[a-z]+)?$" "$listing" | head -n1)
            [ -n "$path" ] || { echo "guest kernel has no module $m" >&2; rm -rf "$tmp"; return 1; }
            # Named once: tar reports a member named twice as missing the second time.
            case " ${patterns[*]} " in *" $path "*) ;; *) patterns+=("$path") ;; esac
        done
        [ ${#patterns[@]} -gt 0 ] && dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tmp" "${patterns[@]}"
        for path in "${patterns[@]}"; do
            m=$(basename "$path"); m=${m%%.ko*}
            case $path in
            *.ko)     cp "$tmp/$path" "$out/$m.ko" ;;
            *.ko.xz)  xz -dc "$tmp/$path" >"$out/$m.ko" ;;
            *.ko.zst) zstd -dcq "$tmp/$path" >"$out/$m.ko" ;;
            *.ko.gz)  gzip -dc "$tmp/$path" >"$out/$m.ko" ;;
            esac
            next+=($(module_depends "$out/$m.ko"))
        done
        wanted=("${next[@]}")
    done
    # Depth first: dependencies before the module.
    visit() {
        local d
        case " ${have[*]} " in *" $1 "*) return ;; esac
        have+=("$1")
        for d in $(module_depends "$out/$1.ko"); do visit "$d"; done
        order+=("$1")
    }
    for m in "$@"; do visit "$m"; done
    printf '%s\n' "${order[@]}" >"$out/order"
    rm -rf "$tmp"
}

fetch_kernel() {  # fetch_kernel CACHE_DIR
    local cache=$1 tmp deb pkg
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
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tmp" --wildcards './boot/vmlinuz-*'
    cp "$tmp"/boot/vmlinuz-* "$cache/vmlinuz"
    rm -rf "$cache/modules"
    # shellcheck disable=SC2086
    unpack_modules "$deb" "$cache/modules" $guest_modules
    if extract_vmlinux "$cache/vmlinuz" "$cache/vmlinux.tmp"; then
        mv "$cache/vmlinux.tmp" "$cache/vmlinux"
    else
        rm -f "$cache/vmlinux.tmp"  # boot the compressed image instead
    fi
    basename "$(ls "$tmp"/boot/vmlinuz-*)" >"$cache/kernel-version"
    rm -rf "$tmp"
    echo "$guest_modules" >"$cache/complete"
}

prepare_guest_kernel() {  # prepare_guest_kernel CACHE_DIR
    local cache=$1
    mkdir -p "$cache"
    # The guests of one build share the cache: one fills it, the others wait.
    exec 9>"$cache/.lock"
    flock 9
    # A cache made for another set of modules is made again.
    if [ "$(cat "$cache/complete" 2>/dev/null)" != "$guest_modules" ]; then
        find "$cache" -mindepth 1 ! -name .lock -delete
        fetch_kernel "$cache"
    fi
    flock -u 9
    kernel=$cache/vmlinuz
    [ -e "$cache/vmlinux" ] && kernel=$cache/vmlinux
    return 0
}
