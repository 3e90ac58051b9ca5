#!/usr/bin/env bash
# One entry point for a newcomer on Debian:
#   ./lirvan.sh demo   installs what is missing, builds, opens the window on the simulated module
#   ./lirvan.sh test   installs what is missing, builds, runs every test (plain and with
#                      AddressSanitizer + UndefinedBehaviorSanitizer)
#   ./lirvan.sh build  installs what is missing and builds (build/)
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          libmodbus-dev socat xvfb xauth fonts-dejavu-core
          qemu-system-x86 busybox-static cpio xz-utils)
# The kernel-path test also downloads (never installs) Debian's linux-image-amd64 for its guest.
install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

run_tests() {  # run_tests DIR
    ctest --test-dir "$1" --output-on-failure -j"$(nproc)" --timeout 300
}

case "${1:-}" in
build)
    install_missing
    build build
    ;;
demo)
    install_missing
    build build
    exec ./build/demo/lirvan-service-demo
    ;;
test)
    install_missing
    build build
    run_tests build
    build build-sanitize -DLIRVAN_SANITIZE=ON -DLIRVAN_KERNEL_TEST=OFF
    run_tests build-sanitize
    ;;
*)
    echo "usage: $0 demo|test|build" >&2
    exit 2
    ;;
esac
