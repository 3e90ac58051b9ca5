#!/usr/bin/env bash
# One entry point for a newcomer on Debian:
#   ./lirvan.sh demo   installs what is missing, builds, opens the window on the simulated module
#   ./lirvan.sh test   installs what is missing, builds, runs every test (plain and with
#                      AddressSanitizer + UndefinedBehaviorSanitizer), runs every fuzz target
#                      for 20 s from its seed corpus, cross-builds for Windows and runs the
#                      Windows tests under wine (with both builds' programs through wine's own
#                      HID stack in a QEMU guest), then builds the package, installs it and
#                      starts the installed tool once
#   ./lirvan.sh build  installs what is missing and builds (build/)
#   ./lirvan.sh docs   also makes the user's guide with its pictures (build/docs/guide/guide.html)
#   ./lirvan.sh package  installs what is missing and builds the Debian package
#                      (build-package/lirvan-service_<version>_amd64.deb)
#   ./lirvan.sh windows  installs what is missing, cross-builds for 64-bit Windows (build-win/) and
#                      32-bit Windows (build-win-i686/) and makes the download
#                      build-win/lirvan-service-<version>-windows.zip (the 32-bit programs in 32-bit/)
#   ./lirvan.sh wine-hid  builds for Linux and Windows and runs the Windows programs through
#                      wine's own HID stack in a QEMU guest (minutes: tests/kernel/run_wine_guest.sh)
#   ./lirvan.sh fuzz [SECONDS]  builds the fuzz targets with clang (build-fuzz/) and runs each
#                      for SECONDS (60 if not given)
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          libmodbus-dev socat xvfb xauth x11-utils fonts-dejavu-core
          qt6-translations-l10n dpkg-dev file
          libcli11-dev nlohmann-json3-dev
          qemu-system-x86 busybox-static cpio xz-utils
          help2man lintian appstream python3-markdown)
# The Windows cross-build: MinGW-w64 for 64-bit and 32-bit Windows, wine to run its tests (wine32
# from Debian's i386 multiarch for the 32-bit ones) as on a Russian Windows (the C library's
# locale sources, from which cmake/wine-run.sh makes ru_RU.UTF-8 when the system has none),
# GoogleTest's sources to build.
windows_packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
                  locales googletest imagemagick)
# The fuzz targets: clang and its fuzzer runtime.
fuzz_packages=(clang-14 libclang-rt-14-dev)
# The kernel-path test also downloads (never installs) Debian's linux-image-amd64 for its guest.
#
# Packages of another architecture (wine32:i386) come from that architecture's lists, and those
# must match the installed libraries version for version. A mirror caught mid-sync, or one that
# serves a stale list for days (seen: the i386 list of bookworm-security), leaves them
# uninstallable although nothing else is wrong: they are installed on their own after the rest,
# and when they cannot be, what needs them is left out and said so.
install_missing() {  # install_missing [extra packages...]
    local missing=() foreign=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
        if [ "${p#*:}" != "$p" ]; then foreign+=("$p"); else missing+=("$p"); fi
    done
    [ ${#missing[@]} -eq 0 ] && [ ${#foreign[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    local p arch
    for p in "${foreign[@]}"; do
        arch=${p#*:}
        [ "$(dpkg --print-architecture)" = "$arch" ] ||
            dpkg --print-foreign-architectures | grep -qx "$arch" ||
            $sudo dpkg --add-architecture "$arch"
    done
    if [ ${#missing[@]} -gt 0 ]; then
        apt_install "${missing[@]}" || { echo "Could not install: ${missing[*]}" >&2; return 1; }
    fi
    if [ ${#foreign[@]} -gt 0 ]; then
        apt_install "${foreign[@]}" ||
            echo "Could not install: ${foreign[*]} (the archive's lists for it do not fit the installed" \
                 "libraries); what needs it is left out below." >&2
    fi
}

# The lists are read and the install tried up to three times, a minute apart.
apt_install() {  # apt_install packages...
    local sudo=() attempt
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: $*"
    for attempt in 1 2 3; do
        "${sudo[@]}" apt-get update -qq || echo "Some package lists could not be read." >&2
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$@" &&
            return 0
        [ "$attempt" -lt 3 ] && { echo "Installing failed; trying again in a minute." >&2; sleep 60; }
    done
    return 1
}

# True when the 32-bit wine is there to run the 32-bit Windows programs.
have_wine32() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"
}
no_wine32="NOT RUN: the 32-bit Windows programs under 32-bit wine (wine32:i386 is not installed)"

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

run_tests() {  # run_tests DIR [ctest options...]
    local dir=$1; shift
    ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 300 "$@"
}

# The package is built in a build of its own: optimised, with Debian's hardening flags,
# installed under /usr, the udev rule in the distribution's folder, no tests or benchmarks.
package() {
    local cxxflags ldflags
    cxxflags="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS) $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)"
    ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
    cmake -S . -B build-package -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
          -DCMAKE_INSTALL_PREFIX=/usr -DLIRVAN_UDEV_RULES_DIR=/usr/lib/udev/rules.d \
          -DLIRVAN_KERNEL_TEST=OFF -DLIRVAN_BUILD_TESTS=OFF -DLIRVAN_BUILD_BENCH=OFF -DLIRVAN_GUIDE=ON >/dev/null
    cmake --build build-package -j"$(nproc)"
    rm -f build-package/lirvan-service_*.deb
    (cd build-package && cpack >/dev/null)
    ls build-package/lirvan-service_*_amd64.deb
    lint_package
}

# The package as Debian judges it: an error or a warning of lintian fails, and so does AppStream
# metadata that does not validate.
lint_package() {
    local deb out
    deb=$(ls build-package/lirvan-service_*_amd64.deb)
    appstreamcli validate --no-net build-package/packaging/ru.lirvan.service.metainfo.xml >/dev/null ||
        { appstreamcli validate --no-net build-package/packaging/ru.lirvan.service.metainfo.xml; return 1; }
    out=$(lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1) &&
        ! grep -q '^[EW]: ' <<<"$out" ||
        { echo "$out" >&2; echo "lintian: $deb is not clean" >&2; return 1; }
    echo "lintian: $(basename "$deb") clean"
}

# Installs the package as a user would (dependencies from the archive) and checks what it put
# on the machine, then starts the installed tool once under a virtual display.
install_and_check_package() {
    local deb
    deb=$(ls build-package/lirvan-service_*_amd64.deb)
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo dpkg -i "$deb" || DEBIAN_FRONTEND=noninteractive $sudo apt-get -f install -y -qq
    tests/package/check_installed.sh "$deb"
}

# The wine prefix of a Windows build (DIR/wineprefix), made here before CTest: wine's helper
# processes must not be started from inside a test. A 32-bit build gets a 32-bit prefix, as a
# 32-bit Windows is.
make_wine_prefix() {  # make_wine_prefix DIR win64|win32
    local prefix=$PWD/$1/wineprefix
    [ -f "$prefix/system.reg" ] && return
    WINEARCH=$2 WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        wineboot -i >/dev/null 2>&1 </dev/null
    WINEPREFIX="$prefix" wineserver -w
}

# The Windows builds: 64-bit in build-win, 32-bit in build-win-i686. Their serial tests use the
# peer program of the Linux build in build/ when that exists.
build_windows() {
    local peer=()
    [ -x build/tests/lirvan-serial-peer ] && peer=(-DLIRVAN_SERIAL_PEER="$PWD/build/tests/lirvan-serial-peer")
    # The test through wine's own HID stack uses the simulated module of the Linux build; the
    # programs of both builds take that path.
    local guest=()
    if [ -x build/sim/usb/lirvan-sim-usb ]; then
        guest=(-DLIRVAN_LINUX_BUILD="$PWD/build")
        have_wine32 && guest+=(-DLIRVAN_WIN32_I686_BUILD="$PWD/build-win-i686")
    fi
    build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
          "${peer[@]}" "${guest[@]}"
    make_wine_prefix build-win win64
    build build-win-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release "${peer[@]}"
    if have_wine32; then make_wine_prefix build-win-i686 win32; else echo "$no_wine32" >&2; fi
}

# The Windows download of build-win, with the 32-bit programs of build-win-i686 where that
# build exists.
make_windows_zip() {
    local builds=(build-win)
    [ -x build-win-i686/bin/lirvan-service.exe ] && builds+=(build-win-i686)
    packaging/windows/make_zip.sh "${builds[@]}"
}

# The fuzz targets: libFuzzer programs under ASan + UBSan, built by clang in a tree of their own.
build_fuzzers() {
    CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DLIRVAN_FUZZ=ON \
        -DLIRVAN_KERNEL_TEST=OFF >/dev/null
    cmake --build build-fuzz -j"$(nproc)" --target fuzzers
}

# Runs every target for the given seconds from its seed corpus (fuzz/corpus/<target>) and what
# earlier runs found (build-fuzz/corpus/<target>). A crash or a difference from a target's model
# fails the run; the input that caused it lands in build-fuzz/crashes/ and belongs, once the
# fault is mended, in fuzz/regressions/<target>/, which the ordinary test run replays.
run_fuzzers() {  # run_fuzzers SECONDS
    local seconds=$1 failed=0 source name unit log
    mkdir -p build-fuzz/crashes
    for source in fuzz/*_fuzz.cpp; do
        name=$(basename "$source" .cpp)
        unit=${name%_fuzz}
        log=build-fuzz/$unit.log
        mkdir -p "build-fuzz/corpus/$unit"
        if build-fuzz/fuzz/"$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
               -artifact_prefix="build-fuzz/crashes/$unit-" \
               "build-fuzz/corpus/$unit" "fuzz/corpus/$unit" >"$log" 2>&1; then
            echo "fuzz $unit: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") inputs in ${seconds} s"
        else
            echo "fuzz $unit: FAILED (see $log and build-fuzz/crashes/)" >&2
            failed=1
        fi
    done
    return $failed
}

case "${1:-}" in
build)
    install_missing
    build build
    ;;
docs)
    install_missing
    build build
    cmake --build build --target guide
    ls build/docs/guide/guide.html
    ;;
demo)
    install_missing
    build build
    exec ./build/demo/lirvan-service-demo
    ;;
windows)
    install_missing "${windows_packages[@]}"
    build_windows
    ls build-win/bin/*.exe build-win-i686/bin/*.exe
    make_windows_zip
    ;;
test)
    install_missing "${windows_packages[@]}" "${fuzz_packages[@]}"
    build build
    run_tests build
    build build-sanitize -DLIRVAN_SANITIZE=ON -DLIRVAN_KERNEL_TEST=OFF
    run_tests build-sanitize
    build_fuzzers
    run_fuzzers 20
    SECONDS=0
    build_windows
    # A wine start now and then fails before the program runs: such a program gets one more go.
    # Among these tests the run through wine's own HID stack in a QEMU guest (label kernel,
    # both builds' programs; about 3 minutes on a 2-core machine), which starts first and
    # runs beside the others; LIRVAN_WINE_HID_TEST=0 leaves it out.
    wine_hid=()
    [ "${LIRVAN_WINE_HID_TEST:-1}" = 0 ] && wine_hid=(-LE kernel)
    run_tests build-win --repeat until-pass:2 "${wine_hid[@]}"
    echo "Windows builds (64-bit and 32-bit), the 64-bit tests under wine and the wine-stack guest: ${SECONDS} s"
    SECONDS=0
    # The 32-bit programs: the same suites under 32-bit wine.
    prefix32=()
    if have_wine32; then
        run_tests build-win-i686 --repeat until-pass:2
        echo "Windows tests under 32-bit wine: ${SECONDS} s"
        prefix32=(build-win-i686/wineprefix)
    fi
    SECONDS=0
    make_windows_zip
    tests/package/check_windows_zip.sh build-win/lirvan-service-*-windows.zip build-win/wineprefix \
        "${prefix32[@]}"
    echo "Windows zip made and checked: ${SECONDS} s"
    package
    install_and_check_package
    have_wine32 || echo "$no_wine32" >&2
    ;;
wine-hid)
    install_missing "${windows_packages[@]}"
    build build
    build_windows
    run_tests build-win -L kernel
    ;;
package)
    install_missing
    package
    ;;
fuzz)
    install_missing "${fuzz_packages[@]}"
    build_fuzzers
    run_fuzzers "${2:-60}"
    ;;
*)
    echo "usage: $0 demo|test|build|docs|windows|wine-hid|package|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
