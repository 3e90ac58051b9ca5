#!/bin/sh
# Runs a Windows program with windows under wine on a virtual X display of its own. The prefix's
# wine processes of earlier programs are let end first (they were started without a display,
# and a program joining them could open no window), and those of this program before the
# display goes away. The caller runs nothing else in the prefix meanwhile.
# Usage: wine-gui-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
set -u
here=$(dirname "$0")
prefix=$1
shift
WINEPREFIX="$prefix" wineserver -w
exec xvfb-run -a -s "-screen 0 1600x1200x24" sh -c '
    "$0" "$@"
    rc=$?
    WINEPREFIX="$1" wineserver -w
    exit $rc' "$here/wine-run.sh" "$prefix" "$@"
