#!/usr/bin/env bash
# corvane-copy as a Linux command: --help, -h and --version; the manual
# pages render without a warning; bash completion offers switches, letters
# and paths, and every switch the usage names.
# Usage: check_command_line.sh BUILD-DIR SOURCE-DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

echo "-- --help, -h, --version"
copy=$build/corvane-copy
code=0
"$copy" '/?' >"$scratch/usage" || code=$?
[ "$code" = 16 ] && grep -q 'Simple Usage :: corvane-copy' "$scratch/usage" || fail "/? ended with $code"
for asked in --help -h; do
  out=$("$copy" "$asked") && [ "$out" = "$(cat "$scratch/usage")" ] || fail "$asked: not the usage of /?, or not exit 0"
done
out=$("$copy" --version) && [ "$out" = "corvane-copy $version" ] || fail "--version: '$out', or not exit 0"
# Only first: later, such a word is Robocopy's (here a file name).
listed=$("$copy" "$scratch" "$scratch/none" --help /L /NJS) || true
grep -q 'Files : --help' <<<"$listed" || fail "a later --help was not a file name"

echo "-- manual pages"
for page in corvane corvane-cmd corvane-copy; do
  file=$build/packaging/linux/man/$page.1
  warnings=$(groff -man -Tutf8 -ww -z "$file" 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  for width in 80 132; do
    shown=$(MANWIDTH=$width man -l "$file.gz" 2>"$scratch/man.err")
    [ ! -s "$scratch/man.err" ] || fail "man -l $page.1.gz at $width columns: $(cat "$scratch/man.err")"
    grep -q "^NAME" <<<"$shown" && grep -Eq "^ *$page +- " <<<"$shown" || fail "man -l $page.1.gz shows no NAME line"
  done
done

echo "-- bash completion"
mkdir -p "$scratch/tree/sub" "$scratch/tree/my dir"
touch "$scratch/tree/log.txt" "$scratch/tree/sub/x"
cd "$scratch/tree"
# shellcheck source=/dev/null
source "$source/packaging/linux/corvane-copy.bash"
[ "$(complete -p corvane-copy)" = "complete -F _corvane_copy corvane-copy" ] || fail "corvane-copy has no completion"
completions() { # the words after "corvane-copy ", as bash hands them over (split at ":")
  COMP_LINE="corvane-copy $1"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _corvane_copy
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
t=$scratch/tree
# what is typed | what is offered, sorted
cases=(
  "/MI|/MIN: /MINAGE: /MINLAD: /MIR "
  "/mir|/MIR "
  "/xj|/XJ /XJD /XJF "
  "/COPY:|A D O S T U X "
  "/copy:da|daO daS daT daU daX "
  "/DCOPY:DAT|DATE DATX "
  "/DCOPY:DATEX|DATEX "
  "/A+:RASHCNE|RASHCNET "
  "/IA:RHSECANT|RHSECANTO "
  "/LOG:$t/l|$t/log.txt "
  "/UNILOG+:$t/|$t/log.txt $t/my dir $t/sub "
  "/SD:$t/|$t/my dir $t/sub "
  "/LOG:|log.txt my dir sub "
  "$t/s|$t/sub "
  "my\\ d|my dir "
  "s|sub "
  "--|--help --version "
  "/R:|"
)
for c in "${cases[@]}"; do
  typed=${c%%|*}
  expected=${c#*|}
  got=$(completions "$typed")
  [ "$got" = "$expected" ] || fail "completing '$typed' offered '$got', not '$expected'"
done
# Every switch of the usage, typed whole, is offered (with its colon when
# it takes a value).
for switch in $(grep -o '/[A-Z0-9][A-Z0-9+-]*' "$scratch/usage" | sort -u); do
  grep -Eq "(^| )$(sed 's/[+]/[+]/g' <<<"$switch"):? " <<<"$(completions "$switch")" ||
    fail "the completion does not offer $switch"
done

[ "$failures" = 0 ] || exit 1
echo "PASS"
