#!/bin/sh
# Runs a Windows program under wine in the build's own prefix (made on first use), quietly.
# A prefix first made for a 32-bit program (PE machine 0x14c) is a 32-bit one (WINEARCH=win32),
# as a 32-bit Windows is; a 64-bit prefix would run it through WoW64 instead.
# The program's output goes through a file: wine's helper processes (wineserver, services)
# outlive the program and would hold a pipe of the caller's open, so that CTest, reading its
# tests' output through pipes, would wait for them.
# The programs run as on a Russian Windows: wine takes its language and code pages from the
# locale, ru_RU.UTF-8 giving ANSI code page 1251 and OEM code page 866, so that every name
# and text that went through a code page instead of UTF-16 shows in the tests.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
set -u
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE
export LANG=ru_RU.UTF-8
# Wine needs the C library's Russian locale too; where the system has none, the prefix gets one
# of its own (made once from the locales package's sources).
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
    export LOCPATH="$WINEPREFIX.locale"
fi
mkdir -p "$WINEPREFIX"
(
    flock 9
    if [ -n "${LOCPATH:-}" ] && [ ! -d "$LOCPATH/ru_RU.UTF-8" ]; then
        mkdir -p "$LOCPATH"
        localedef -i ru_RU -f UTF-8 "$LOCPATH/ru_RU.UTF-8" >/dev/null 2>&1 ||
            echo "wine-run.sh: no Russian locale (apt-get install locales)" >&2
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
        [ -n "$pe" ] && [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" = 014c ] &&
            export WINEARCH=win32
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"
# LIRVAN_WINE_CONSOLE=1: the program keeps the caller's terminal, which wine makes its console.
[ "${LIRVAN_WINE_CONSOLE:-0}" = 1 ] && exec wine "$@"
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
