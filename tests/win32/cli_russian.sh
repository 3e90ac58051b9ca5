#!/bin/sh
# lirvan-cli.exe on a Russian Windows (wine in ru_RU.UTF-8: ANSI code page 1251, OEM 866), on
# its simulated module: a backup into a folder with Cyrillic letters and a space, a restore
# from it, a read into a Cyrillic file name and a write from it, each name checked on disk;
# what it prints checked byte for byte, redirected (UTF-8, as it stands) and on a console
# (where it must show as the same letters); a file error names the file as typed.
# Usage: cli_russian.sh WINE-RUN PREFIX LIRVAN-CLI.EXE WORK-FOLDER
set -u
run=$1 prefix=$2 cli=$3 work=$4
rm -rf "$work"
mkdir -p "$work/тест"
failures=0
fail() { printf 'FAILED: %s\n' "$*"; failures=$((failures + 1)); }
# The Windows name of a folder of this machine (wine's drive Z: is /).
win() { printf 'Z:%s' "$1" | tr / '\\'; }
cli() { "$run" "$prefix" "$cli" --demo "$@" >"$work/out" 2>&1; }

backup="$work/тест/резервная копия"
cli backup "$(win "$backup")" || fail "backup: $(cat "$work/out")"
[ "$(ls "$backup" | tr '\n' ' ')" = "amt.bin config.bin kvp.bin manifest.json ram.bin rom.bin " ] ||
    fail "backup folder holds: $(ls "$work/тест")"
cli --json restore "$(win "$backup")" --ram main || fail "restore: $(cat "$work/out")"
grep -qF "\"folder\":\"$(win "$backup" | sed 's/\\/\\\\/g')\"" "$work/out" ||
    fail "restore names its folder: $(cat "$work/out")"

rom="$work/тест/пзу.bin"
cli read rom "$(win "$rom")" || fail "read: $(cat "$work/out")"
[ "$(ls "$work/тест" | tr '\n' ' ')" = "пзу.bin резервная копия " ] || fail "names on disk: $(ls "$work/тест")"
cmp -s "$rom" "$backup/rom.bin" || fail "пзу.bin is not the module's ROM"
printf 'rom → %s: 16384 bytes, sum %s, CRC-32 %s\n' "$(win "$rom")" \
    "$(od -An -v -tu1 "$rom" | tr -s ' ' '\n' | awk '{s += $1} END {print s}')" \
    "$(sed -n '/"rom.bin"/,/crc32/s/.*"crc32": *"\([0-9a-f]*\)".*/\1/p' "$backup/manifest.json")" >"$work/expected"
cmp "$work/expected" "$work/out" || fail "read's line: $(cat "$work/out")"
cli write rom "$(win "$rom")" || fail "write from a Cyrillic name: $(cat "$work/out")"

# The settings in the window's words: UTF-8 bytes when redirected, the same letters on a console.
cat >"$work/expected" <<'TEXT'
X  Версия математического обеспечения УЧПУ: 4- версия 4
Z  Прошивки ПЗУ АМТ: 1- для 16А20Т
G  Содержимое КВП: 1- ОЗУ
M  Инверсия клавиш движения по X: 0- выкл
S  Режим сохранения/ восстановления ОЗУ: 1- автоматический
T  Фильтр по входам КИП: 4- 0,4 мкс
F  Определение пропадания питания: 0- по ~12В
checksum 11 (correct)
TEXT
cli config show || fail "config show"
cmp "$work/expected" "$work/out" || fail "config show, redirected: $(cat "$work/out")"
# On a terminal wine gives the program a console; its escape sequences and CRs are dropped.
RUN=$run PREFIX=$prefix CLI=$cli LIRVAN_WINE_CONSOLE=1 \
    script -qec '"$RUN" "$PREFIX" "$CLI" --demo config show' /dev/null </dev/null |
    sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' | tr -d '\r' >"$work/console"
cmp "$work/expected" "$work/console" || fail "config show, on a console: $(cat "$work/console")"

# A file error names the file as typed and gives the system's reason in Russian (no English
# C-library text), and the exit code says a file problem.
cli read rom "$(win "$work/нет/пзу.bin")"
code=$?
[ $code -eq 4 ] || fail "a missing folder: exit $code"
line=$(head -n 1 "$work/out")
start="lirvan-cli: Не удалось создать файл \"$(win "$work/нет/пзу.bin")\": "
reason=${line#"$start"}
[ "$start$reason" = "$line" ] && [ -n "$reason" ] && ! printf '%s' "$reason" | grep -q '[A-Za-z]' ||
    fail "the error names the file with the system's reason: $(cat "$work/out")"

[ $failures -eq 0 ] && rm -rf "$work"
exit $failures
