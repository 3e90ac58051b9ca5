#!/bin/sh
# Makes lirvan-cli's manual page with help2man from the program's own help: the main help, then
# one section per subcommand (nested ones too) with that subcommand's --help, and the exit
# codes as their own section. Nothing here repeats what the help says.
#   cli_man.sh HELP2MAN LIRVAN-CLI OUT.1
set -eu
help2man=$1 cli=$2 out=$3
include=$out.include
trap 'rm -f "$include"' EXIT

# The subcommand names of a help text: the indented first words under "Subcommands:".
subcommands() {
    "$cli" "$@" --help | awk '/^Subcommands:/ {on = 1; next} /^[^ ]/ {on = 0} on && /^  [a-z]/ {print $1}'
}

roff_text() {  # plain text as roff, kept as it is laid out
    sed -e 's/\\/\\e/g' -e 's/^\([.'"'"']\)/\\\&\1/'
}

section() {  # section COMMAND... : the --help of one (sub)command
    printf '.SS "lirvan-cli %s"\n.nf\n' "$*"
    "$cli" "$@" --help | roff_text
    printf '.fi\n'
}

{
    printf '[COMMANDS]\n'
    for command in $(subcommands); do
        section "$command"
        for sub in $(subcommands "$command"); do
            section "$command" "$sub"
        done
    done
    # The exit codes of the main help ("Exit codes: 0 done, 1 ..., 64 usage."), one entry each.
    printf '[EXIT STATUS]\n'
    "$cli" --help | awk '/^Exit codes:/ {on = 1} /^Usage:/ {on = 0} on' | tr '\n' ' ' |
        sed -e 's/^Exit codes: *//' -e 's/[. ]*$//' | tr ',' '\n' |
        sed -e 's/^ *//' -e 's/^\([0-9][0-9]*\) \(.*\)$/.TP\n.B \1\n\2/'
    printf '\n[SEE ALSO]\n.BR lirvan-service (1),\n.BR lirvan-service-demo (1),\n.BR lirvan-sim-uhid (1)\n'
} >"$include"

"$help2man" --no-info --section=1 --source="lirvan-service" --name="the ЛИРВАН НЦ-31 module from the command line" \
    --include="$include" --output="$out" "$cli"
