#!/usr/bin/env bash
# Soak test of corvane-copy: runs of /MIR /MT:8 on a source tree that changes
# before each run, each run killed with SIGKILL at a random moment, then
# run again to completion. After each kill, every file under a real name in
# the destination is whole (the same content as the source has now or had
# before this round's changes); after each rerun, the destination equals
# the source (types, names, content, modes, modification times of files,
# modes of folders: what /COPY:DAT /DCOPY:DA carry) and no temporary file of
# ours is left.
#
#   bench/copy-soak.sh [RUNS]       (default 50)
# Through the environment: SOAK_RUNS, SOAK_FILES [3000], SOAK_SEED [random],
# SOAK_DIR [/dev/shm when it has room, else $TMPDIR or /tmp], CORVANE_COPY [build/corvane-copy].
# Prints one line per run and a closing "soak: N passed, N failed" line;
# exits 1 on the first failure, keeping the trees for a look.
set -euo pipefail
export LC_ALL=C

root_dir=$(cd "$(dirname "$0")/.." && pwd)
COPY=${CORVANE_COPY:-$root_dir/build/corvane-copy}
RUNS=${1:-${SOAK_RUNS:-50}}
FILES=${SOAK_FILES:-3000}
SEED=${SOAK_SEED:-$(od -An -N2 -tu2 /dev/urandom | tr -d ' ')}
# In memory when /dev/shm has room (space and inodes), else in $TMPDIR or /tmp.
PLACE=${SOAK_DIR:-}
if [ -z "$PLACE" ]; then
    read -r avail iavail < <(df -B1 --output=avail,iavail /dev/shm 2>/dev/null | tail -1) || true
    if [ "${avail:-0}" -ge $((1 << 30)) ] && [ "${iavail:-0}" -ge 100000 ]; then PLACE=/dev/shm; else PLACE=${TMPDIR:-/tmp}; fi
fi

die() { echo "copy-soak: $*" >&2; exit 2; }
[ -x "$COPY" ] || die "no $COPY: build it first (scripts/build.sh), or name it in CORVANE_COPY"
command -v perl >/dev/null || die "perl is missing (scripts/install-deps.sh installs it)"
perl -MFile::Find -MTime::HiRes -e1 2>/dev/null || die "perl's File::Find and Time::HiRes are missing (apt-get install perl)"

work=$(mktemp -d "$PLACE/corvane-soak.XXXXXX")
src=$work/src dst=$work/dst
keep=0
trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT
RANDOM=$SEED

# mutate DIR SEED FILES ROUND: round 0 makes the tree; later rounds change a
# share of it: new, rewritten (grown or cut short), deleted, renamed, their
# times or modes changed (a mode with a time: as in Robocopy, a file whose
# size and time are the same is not copied again); folders made and
# deleted; a file swapped for a folder.
mutate() {
    perl -MFile::Find -MFile::Path=make_path,remove_tree -MTime::HiRes=utime -e '
        my ($root, $seed, $files, $round) = @ARGV;
        srand($seed * 1000 + $round);
        my @modes = (0644, 0644, 0644, 0600, 0755, 0444, 0640);
        sub content { my $n = shift; my $s = pack("N", int(rand(1 << 32))) x 64; return substr($s x (int($n / 256) + 1), 0, $n); }
        sub size_of { my $p = rand(); return $p < 0.85 ? int(rand(8192)) : $p < 0.99 ? 8192 + int(rand(256 << 10)) : (1 << 20) + int(rand(6 << 20)); }
        sub stamp { my $f = shift; my $t = time() - rand(365 * 86400); utime($t, $t + rand(1), $f); }
        sub write_file {
            my $f = shift;
            chmod(0644, $f) if -e $f;
            open(my $h, ">", $f) or die "$f: $!";
            print $h content(size_of()); close $h or die "$f: $!";
            stamp($f); chmod($modes[int(rand(@modes))], $f);
        }
        my @dirs = ("");
        sub new_dir { my $d = $dirs[int(rand(@dirs))]; $d .= ($d eq "" ? "" : "/") . sprintf("d%d_%d", $round, int(rand(1e6))); make_path("$root/$d"); push @dirs, $d; return $d; }
        if ($round == 0) {
            mkdir $root or die "$root: $!";
            new_dir() for 1 .. int($files / 30) + 1;
            for my $i (1 .. $files) { my $d = $dirs[int(rand(@dirs))]; write_file("$root/$d/f$i" . ($i % 7 ? "" : " with space")); }
            exit 0;
        }
        my @all;
        find({ no_chdir => 1, wanted => sub { return if $_ eq $root; push @all, $_; if (-d $_) { my $r = substr($_, length($root) + 1); push @dirs, $r; } } }, $root);
        my @f = grep { -f $_ } @all;
        for my $f (@f) {
            my $p = rand();
            if ($p < 0.15) { write_file($f); }
            elsif ($p < 0.22) { chmod(0644, $f); unlink($f) or die "$f: $!"; }
            elsif ($p < 0.26) { stamp($f); }
            elsif ($p < 0.30) { chmod($modes[int(rand(@modes))], $f); stamp($f); }
            elsif ($p < 0.32) { rename($f, "$f.r$round") or die "$f: $!"; }
            elsif ($p < 0.325) { chmod(0644, $f); unlink($f); mkdir($f) or die "$f: $!"; write_file("$f/inside"); }
        }
        for (1 .. int($files / 10)) { my $d = $dirs[int(rand(@dirs))]; write_file("$root/$d/n${round}_" . int(rand(1e9))); }
        for (1 .. 3) { my $d = new_dir(); write_file("$root/$d/g$_") for 1 .. 5; }
        my @gone = grep { m{(^|/)d[1-9][0-9]*_[0-9]+$} } @dirs; # made by an earlier round: small
        if (@gone > 5) { my $d = $gone[int(rand(@gone))]; remove_tree("$root/$d") if -d "$root/$d"; }
        chmod(0755, "$root/$dirs[int(rand(@dirs))]") ;
    ' "$@"
}

# Lines that describe a tree as the copy must keep it: for files, type,
# name, mode, modification time and size; for folders, type, name, mode;
# then every file's MD5.
describe() {
    (cd "$1" && find . -mindepth 1 \( -type f -printf 'f\t%P\t%m\t%T@\t%s\n' \) -o \( -type d -printf 'd\t%P\t%m\n' \) \
        -o -printf '%y\t%P\n' | sort)
}
# Each file's name, mode, modification time, size and MD5, a line each.
stamps() {
    (cd "$1" && { find . -type f -printf 'F\t%P\t%m\t%T@\t%s\n'; find . -type f -print0 | xargs -0 -r md5sum; }) |
        awk -F'\t' '$1 == "F" { meta[$2] = $3 "\t" $4 "\t" $5; next }
                    { md5[substr($0, 37)] = substr($0, 1, 32) }
                    END { for (p in meta) print p "\t" meta[p] "\t" md5[p] }' | sort
}
temporaries() { find "$1" -name '.corvane-*' -print; }

fail() {
    keep=1
    echo "run $run: FAILED: $*"
    echo "soak: $passed passed, 1 failed (seed $SEED; trees kept in $work)"
    exit 1
}

echo "corvane-copy soak: $RUNS runs of /MIR /MT:8 killed and rerun, $FILES files, seed $SEED, in $work"
mutate "$src" "$SEED" "$FILES" 0
# How long a whole copy takes, so the kills fall inside runs.
t0=$EPOCHREALTIME
"$COPY" "$src" "$work/probe" /MIR /MT:8 /R:0 /W:0 /NP /NFL /NDL >/dev/null || [ $? -lt 8 ] || die "the first copy failed"
t1=$EPOCHREALTIME
rm -rf "$work/probe"
full_us=$(( ${t1/./} - ${t0/./} ))
echo "a whole copy takes $((full_us / 1000)) ms: each run is killed within that"

passed=0 mid=0
prev=$work/prev.stamps
: >"$prev"
for ((run = 1; run <= RUNS; ++run)); do
    [ "$run" -gt 1 ] && mutate "$src" "$SEED" "$FILES" "$run"
    # Half the runs killed early (in the walk and first copies), the rest anywhere.
    if ((RANDOM % 2)); then delay=$((RANDOM * 32768 + RANDOM)); delay=$((delay % (full_us / 4 + 1))); else delay=$(((RANDOM * 32768 + RANDOM) % (full_us + 1))); fi
    "$COPY" "$src" "$dst" /MIR /MT:8 /R:0 /W:0 /NP /NFL /NDL >"$work/killed.log" 2>&1 &
    pid=$!
    sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    if kill -9 "$pid" 2>/dev/null; then mid=$((mid + 1)); state="killed after $((delay / 1000)) ms"; else state="ended before its kill"; fi
    wait "$pid" 2>/dev/null || true
    # Every file under a real name is whole, its mode and time set: as the
    # source is now, or as it was before this round's changes.
    stamps "$src" >"$work/now.stamps"
    if [ -d "$dst" ]; then
        torn=$(stamps "$dst" | awk -v now="$work/now.stamps" -v prev="$prev" '
            BEGIN { while ((getline l < now) > 0) whole[l] = 1; while ((getline l < prev) > 0) whole[l] = 1 }
            !($0 in whole) && $0 !~ /(^|\/)\.corvane-[^\/\t]*\t/ { print; exit }')
        [ -z "$torn" ] || fail "not whole after the kill: $torn"
    fi
    rc=0
    "$COPY" "$src" "$dst" /MIR /MT:8 /R:0 /W:0 /NP /NFL /NDL >"$work/rerun.log" 2>&1 || rc=$?
    [ "$rc" -lt 8 ] || fail "the rerun ended with exit code $rc: $(tail -5 "$work/rerun.log")"
    if ! diff <(describe "$src") <(describe "$dst") >"$work/diff.txt"; then fail "the destination differs: $(head -10 "$work/diff.txt")"; fi
    if ! diff "$work/now.stamps" <(stamps "$dst") >"$work/diff.txt"; then fail "contents differ: $(head -10 "$work/diff.txt")"; fi
    left=$(temporaries "$dst")
    [ -z "$left" ] || fail "temporary files left: $left"
    cp "$work/now.stamps" "$prev"
    passed=$((passed + 1))
    echo "run $run: $state; rerun exit code $rc; destination equals source ($(grep -c '^f' <(describe "$dst")) files), no temporary file"
done
echo "killed mid-run: $mid of $RUNS"
echo "soak: $passed passed, 0 failed"
