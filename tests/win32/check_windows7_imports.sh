#!/bin/sh
# Every function a program imports must exist on Windows 7 SP1, the oldest system the tool
# starts on. LIST holds them as dll!function, one a line (# begins a comment), each one checked
# against that system; a function that came later is looked up at run time instead
# (GetProcAddress), so that it never stands in the import table. Prints every import that the
# list lacks and fails then, as it does when a program's import table cannot be read.
# Usage: check_windows7_imports.sh OBJDUMP LIST PROGRAM.exe...
set -u
objdump=$1 list=$2
shift 2
known=$(mktemp)
trap 'rm -f "$known"' EXIT
sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$list" | tr A-Z a-z | sort -u >"$known"
failed=0
for exe in "$@"; do
    # objdump -p: a "DLL Name: X" line, then one line per import ("<vma> <hint> <name>"; an
    # import by ordinal has the name "<none>"), then an empty line.
    imports=$("$objdump" -p "$exe" | awk '
        /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
        /^$/ { dll = "" }
        dll != "" && /^\t[0-9a-f]+\t/ { print dll "!" $3 }') || { echo "$exe: no import table read"; failed=1; continue; }
    if [ -z "$imports" ]; then
        echo "$exe: no import table read"
        failed=1
        continue
    fi
    echo "$imports" | awk -v exe="$(basename "$exe")" -v list="$(basename "$list")" '
        FILENAME != "-" { known[$0] = 1; next }
        !(tolower($0) in known) { print exe " imports " $0 ", not on Windows 7 SP1 by the list " list; bad = 1 }
        END { exit bad }' "$known" - || failed=1
done
exit $failed
