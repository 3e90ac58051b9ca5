#!/usr/bin/env bash
# Checks an installed lirvan-service package: its name and dependencies, every file in its
# place, both executables' --version without a display, and the installed tool opening its
# window under a virtual X display with an empty home that it leaves empty.
#   tests/package/check_installed.sh build-package/lirvan-service_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/../.."
deb=$1
fail() { echo "package check: $*" >&2; exit 1; }

version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "lirvan-service_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"
dpkg-query -W -f='${Status}' lirvan-service | grep -q "install ok installed" || fail "not installed"
[ "$(dpkg-query -W -f='${Version}' lirvan-service)" = "$version" ] || fail "another version installed"

# Libraries found by dpkg-shlibdeps, and what the tool loads without linking it.
depends=$(dpkg-deb -f "$deb" Depends)
for d in libc6 libqt6core6 libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core; do
    grep -Eq "(^|, )$d( |,|$)" <<<"$depends" || fail "$d missing from Depends: $depends"
done

for f in /usr/bin/lirvan-service /usr/bin/lirvan-service-demo /usr/bin/lirvan-sim-uhid /usr/bin/lirvan-sim-usb /usr/bin/lirvan-cli \
         /usr/share/applications/lirvan-service.desktop \
         /usr/share/icons/hicolor/scalable/apps/lirvan-service.svg \
         /usr/share/icons/hicolor/64x64/apps/lirvan-service.png \
         /usr/lib/udev/rules.d/70-lirvan-nc31.rules \
         /usr/share/doc/lirvan-service/copyright /usr/share/doc/lirvan-service/changelog.gz \
         /usr/share/metainfo/ru.lirvan.service.metainfo.xml \
         /usr/share/man/man1/lirvan-service.1.gz /usr/share/man/man1/lirvan-service-demo.1.gz \
         /usr/share/man/man1/lirvan-cli.1.gz /usr/share/man/man1/lirvan-sim-uhid.1.gz \
         /usr/share/man/man1/lirvan-sim-usb.1.gz; do
    [ -f "$f" ] || fail "$f missing"
    [ "$(dpkg -S "$f" 2>/dev/null | cut -d: -f1)" = lirvan-service ] || fail "$f not the package's"
done
cmp -s /usr/lib/udev/rules.d/70-lirvan-nc31.rules packaging/70-lirvan-nc31.rules || fail "udev rule differs"
for x in lirvan-service lirvan-service-demo lirvan-sim-uhid lirvan-sim-usb lirvan-cli; do
    [ -x "/usr/bin/$x" ] || fail "/usr/bin/$x not executable"
done

# The guide, with every picture it shows.
guide=/usr/share/doc/lirvan-service/guide/guide.html
[ -f "$guide" ] || fail "$guide missing"
for picture in $(grep -o '<img [^>]*src="[^"]*"' "$guide" | sed 's/.*src="//; s/"$//'); do
    [ -s "$(dirname "$guide")/$picture" ] || fail "the guide's picture $picture missing"
done
[ "$(grep -c '<img ' "$guide")" -ge 10 ] || fail "the guide shows fewer than ten pictures"

# lirvan-cli's manual page has a section for every subcommand of its help.
for sub in $(lirvan-cli --help | awk '/^Subcommands:/ {on = 1; next} /^[^ ]/ {on = 0} on && /^  [a-z]/ {print $1}'); do
    zcat /usr/share/man/man1/lirvan-cli.1.gz | grep -q "^\.SS \"lirvan-cli $sub\"" || fail "lirvan-cli.1 lacks $sub"
done

for x in lirvan-service lirvan-service-demo lirvan-cli; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$x" --version) || fail "$x --version failed"
    [ "$out" = "$x $version" ] || fail "$x --version said '$out'"
done

# The installed tool on a virtual display: its window must appear under its caption. A first
# run on a fresh account: the home folder is empty before and must be empty after.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
env -u XDG_CONFIG_HOME -u QT_QPA_PLATFORM HOME="$home" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        lirvan-service & pid=$!
        for _ in $(seq 100); do
            for id in $(xwininfo -root -children 2>/dev/null | awk "/^ +0x/ {print \$1}"); do
                if xprop -id "$id" WM_CLASS _NET_WM_NAME 2>/dev/null | grep -q "\"lirvan-service\"" &&
                   xprop -id "$id" _NET_WM_NAME | grep -q "ЛИРВАН НЦ-31" &&
                   xwininfo -id "$id" | grep -q "IsViewable"; then
                    echo "window $id: $(xprop -id "$id" _NET_WM_NAME)"
                    kill "$pid"
                    wait "$pid" 2>/dev/null || true
                    exit 0
                fi
            done
            kill -0 "$pid" 2>/dev/null || { echo "lirvan-service ended before its window appeared" >&2; exit 1; }
            sleep 0.1
        done
        kill "$pid"
        echo "no window of lirvan-service within 10 s" >&2
        exit 1' || fail "the installed tool did not open its window"
left=$(find "$home" -mindepth 1)
[ -z "$left" ] || fail "the tool left files in the home folder: $left"
echo "package check: $(basename "$deb") installed and working"
