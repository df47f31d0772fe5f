#!/usr/bin/env bash
# corvane-copy against cp -a and rsync -a, on trees this script makes:
#   spread  100,000 files of 1 KiB in 100 folders
#   flat    the same 100,000 files in one folder
#   big     4 files of 512 MiB
#   rerun   the spread tree copied again onto its own copy: nothing to do
# each on a tmpfs (/dev/shm) and on the disk (/tmp), a fresh destination for
# every run, the tools interleaved (their order turns each round), the
# median of 5 runs. Then the system calls per file (strace -c -f on 1,000
# files) and the peak memory of a tree of 1,000,000 files (/usr/bin/time -v).
#
# Runs are timed with a warm page cache: sync (untimed) before each run, so
# one run's write-back does not fall on the next; the disk's own write-back
# after a run is not in its time, for any tool.
#
# Smaller runs for a quick try, through the environment (defaults in brackets):
#   BENCH_REPS [5]  BENCH_FILES [100000]  BENCH_FOLDERS [100]  BENCH_FILE_BYTES [1024]
#   BENCH_BIG_COUNT [4]  BENCH_BIG_MIB [512]  BENCH_STRACE_FILES [1000]
#   BENCH_MEMORY_FILES [1000000]  BENCH_PLACES ["/dev/shm /tmp"]
#   BENCH_ONLY ["spread flat big rerun syscalls memory"]
#   CORVANE_COPY [build/corvane-copy]
# e.g. BENCH_REPS=3 BENCH_FILES=5000 BENCH_BIG_MIB=32 BENCH_MEMORY_FILES=20000 bench/copy-bench.sh
set -euo pipefail
export LC_ALL=C

root_dir=$(cd "$(dirname "$0")/.." && pwd)
COPY=${CORVANE_COPY:-$root_dir/build/corvane-copy}
REPS=${BENCH_REPS:-5}
FILES=${BENCH_FILES:-100000}
FOLDERS=${BENCH_FOLDERS:-100}
FILE_BYTES=${BENCH_FILE_BYTES:-1024}
BIG_COUNT=${BENCH_BIG_COUNT:-4}
BIG_MIB=${BENCH_BIG_MIB:-512}
STRACE_FILES=${BENCH_STRACE_FILES:-1000}
MEMORY_FILES=${BENCH_MEMORY_FILES:-1000000}
read -r -a PLACES <<<"${BENCH_PLACES:-/dev/shm /tmp}"
ONLY=" ${BENCH_ONLY:-spread flat big rerun syscalls memory} "

die() { echo "copy-bench: $*" >&2; exit 1; }
wants() { [[ $ONLY == *" $1 "* ]]; }
say() { echo "# $*" >&2; }

[ -x "$COPY" ] || die "no $COPY: build it first (scripts/build.sh), or name it in CORVANE_COPY"
# A copy of the program is timed: a build meanwhile does not change it under the runs.
program_dir=$(mktemp -d)
cp "$COPY" "$program_dir/corvane-copy"
COPY_NAMED=$COPY
COPY=$program_dir/corvane-copy
for tool in cp rsync perl; do command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"; done
if wants syscalls; then command -v strace >/dev/null || die "strace is missing (scripts/install-deps.sh installs it)"; fi
if wants memory; then [ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/install-deps.sh installs it)"; fi
[ "$REPS" -ge 1 ] && [ "$FILES" -ge 1 ] && [ "$FOLDERS" -ge 1 ] || die "BENCH_REPS, BENCH_FILES and BENCH_FOLDERS must be positive"

TOOLS=("cp -a" "rsync -a" "corvane-copy /E" "corvane-copy /E /MT:2" "corvane-copy /E /MT:8")
# The command line of one tool copying $2 to $3 (which must not exist yet,
# or holds its earlier copy), in CMD.
tool_cmd() {
    local tool=$1 src=$2 dst=$3
    case $tool in
        "cp -a") CMD=(cp -a "$src" "$dst") ;;
        "rsync -a") CMD=(rsync -a "$src/" "$dst/") ;;
        # The quiet switches, as cp and rsync are quiet; the output is thrown away in any case.
        corvane-copy*) read -r -a CMD <<<"${tool#corvane-copy }"; CMD=("$COPY" "$src" "$dst" "${CMD[@]}" /NP /NFL /NDL) ;;
    esac
}
# Whether the exit code of a tool's run says it worked (Robocopy's codes below 8 do).
worked() { [[ $1 == corvane-copy* ]] && [ "$2" -lt 8 ] || [ "$2" -eq 0 ]; }
# prefix... TOOL SRC DST: runs one tool, under the prefix (strace, time) if any.
run_tool() {
    local n=$(($# - 3)) rc=0
    tool_cmd "${@:n+1:3}"
    "${@:1:n}" "${CMD[@]}" >/dev/null || rc=$?
    worked "${*:n+1:1}" "$rc"
}

work=("$program_dir")
cleanup() { for w in "${work[@]}"; do [ -n "$w" ] && rm -rf "$w"; done; }
trap cleanup EXIT
trap 'exit 130' INT TERM
trap 'echo "copy-bench: stopped by a failure on line $LINENO" >&2' ERR

# ---------------------------------------------------------------- trees

# make_tree DIR FILES FOLDERS BYTES: FILES files of BYTES bytes in FOLDERS
# folders (directly in DIR when FOLDERS is 1), each with its own content.
make_tree() {
    perl -e '
        my ($root, $files, $folders, $bytes) = @ARGV;
        mkdir $root or die "$root: $!";
        my $per = int(($files + $folders - 1) / $folders);
        my $n = 0;
        for my $d (0 .. $folders - 1) {
            my $dir = $folders == 1 ? $root : sprintf("%s/d%04d", $root, $d);
            mkdir $dir or die "$dir: $!" if $folders > 1;
            for (1 .. $per) {
                last if $n >= $files;
                my $head = "file $n ";
                my $body = substr($head x (int($bytes / length $head) + 1), 0, $bytes);
                open(my $f, ">", "$dir/f$n") or die "$dir/f$n: $!";
                print $f $body;
                close $f or die "$dir/f$n: $!";
                ++$n;
            }
        }' "$@"
}

make_big() {
    mkdir "$1"
    for ((i = 0; i < BIG_COUNT; ++i)); do
        head -c "$((BIG_MIB << 20))" /dev/urandom >"$1/big$i"
    done
}

count_files() { find "$1" -type f | wc -l; }

# ---------------------------------------------------------------- room

# room PLACE BYTES INODES: empty when PLACE has room, else why not.
room() {
    local place=$1 bytes=$2 inodes=$3 avail iavail
    read -r avail iavail < <(df -B1 --output=avail,iavail "$place" | tail -1)
    if [ "$avail" -lt "$bytes" ]; then
        echo "$place has $((avail >> 20)) MiB free, this needs $((bytes >> 20)) MiB"
    elif [ "$iavail" != "-" ] && [ "$iavail" -lt "$inodes" ]; then
        echo "$place has $iavail inodes free, this needs $inodes"
    fi
}
# What a file of n bytes takes (whole 4 KiB blocks, at least one).
blocks_of() { echo $(( ($1 + 4095) / 4096 * 4096 > 4096 ? ($1 + 4095) / 4096 * 4096 : 4096 )); }

# ---------------------------------------------------------------- timing

declare -A TIMES=()   # "workload|place|tool" -> seconds of each run, one a line
declare -A SKIPPED=() # "workload|place" -> why
ROWS=()               # "workload|place" in the order run

now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }
seconds_of() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1e6 }'; }

# time_copy KEY TOOL SRC DST: one timed run into a fresh DST.
time_copy() {
    local key=$1 tool=$2 src=$3 dst=$4 t0 t1
    rm -rf "$dst"
    sync -f "$src"
    t0=$(now_us)
    run_tool "$tool" "$src" "$dst" || die "$tool failed on $src"
    t1=$(now_us)
    TIMES[$key|$tool]+="$(seconds_of $((t1 - t0)))"$'\n'
}

# bench_copies WORKLOAD PLACE SRC EXPECTED KEEP: every tool, REPS rounds,
# interleaved. With KEEP, every run's destination stays until the last
# round: see settle.
bench_copies() {
    local workload=$1 place=$2 src=$3 expected=$4 keep=$5 base="$2/corvane-bench.$$" r i n dst
    ROWS+=("$workload|$place")
    n=${#TOOLS[@]}
    for ((r = 0; r < REPS; ++r)); do
        for ((i = 0; i < n; ++i)); do
            local tool=${TOOLS[(i + r) % n]}
            [ "$keep" = 1 ] && dst="$base/dst.$r.$i" || dst="$base/dst"
            time_copy "$workload|$place" "$tool" "$src" "$dst"
            if [ "$r" -eq 0 ]; then
                local got
                got=$(count_files "$dst")
                [ "$got" -eq "$expected" ] || die "$tool copied $got files of $expected"
            fi
        done
        say "$workload on $place: round $((r + 1)) of $REPS done"
    done
    for tool in "${TOOLS[@]}"; do say "  $tool: median $(printf '%s' "${TIMES[$workload|$place|$tool]}" | median) s"; done
    rm -rf "$base"/dst "$base"/dst.*
}

# ext4 without a journal skips the inodes freed in the last minute (five
# when their blocks are still dirty) when it makes a file, looking at each
# in turn: files made just after 100,000 were deleted cost ten times as
# much. So on such a disk the destinations are not deleted between runs,
# and after a tree is deleted the next runs wait for its inodes to settle.
is_tmpfs() { [ "$(df --output=fstype "$1" | tail -1)" = tmpfs ]; }
settle() {
    is_tmpfs "$1" && return
    sync -f "$1"
    say "waiting 61 s on $1 for the inodes just freed to be reusable"
    sleep 61
}

# bench_rerun PLACE SRC: each tool once onto its own copy, untimed, then REPS
# timed reruns, interleaved. cp -a has no rerun that skips: it is left out.
bench_rerun() {
    local place=$1 src=$2 base="$1/corvane-bench.$$" r i
    local tools=("rsync -a" "corvane-copy /E" "corvane-copy /E /MT:2" "corvane-copy /E /MT:8")
    ROWS+=("rerun|$place")
    run_tool "rsync -a" "$src" "$base/rsync-copy" || die "rsync -a failed"
    run_tool "corvane-copy /E" "$src" "$base/corvane-copy" || die "corvane-copy failed"
    for ((r = 0; r < REPS; ++r)); do
        for ((i = 0; i < ${#tools[@]}; ++i)); do
            local tool=${tools[(i + r) % ${#tools[@]}]} dst t0 t1
            [[ $tool == rsync* ]] && dst="$base/rsync-copy" || dst="$base/corvane-copy"
            sync -f "$src"
            t0=$(now_us)
            run_tool "$tool" "$src" "$dst" || die "$tool failed on its rerun"
            t1=$(now_us)
            TIMES[rerun|$place|$tool]+="$(seconds_of $((t1 - t0)))"$'\n'
        done
    done
    for tool in "${tools[@]}"; do say "  rerun, $tool: median $(printf '%s' "${TIMES[rerun|$place|$tool]}" | median) s"; done
    rm -rf "$base/rsync-copy" "$base/corvane-copy"
}

median() { # of the numbers on stdin
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print ""; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# ---------------------------------------------------------------- the runs

echo "corvane-copy benchmark: $(nproc) cores, $(uname -sr); $REPS runs each, median"
echo "tools: $(cp --version | head -1); $(rsync --version | head -1 | awk '{print $1, $2, $3}'); $COPY_NAMED"
for place in "${PLACES[@]}"; do
    [ -d "$place" ] || die "$place is not a folder"
    read -r fstype < <(df --output=fstype "$place" 2>/dev/null | tail -1 || echo "?")
    read -r avail iavail < <(df -B1 --output=avail,iavail "$place" | tail -1)
    echo "$place: ${fstype:-?}, $((avail >> 20)) MiB and $iavail inodes free"
done
echo

small_bytes=$(blocks_of "$FILE_BYTES")
copies=$((REPS * ${#TOOLS[@]}))
for place in "${PLACES[@]}"; do
    base="$place/corvane-bench.$$"
    # Room for the destinations of every run (see settle), else for one at a time.
    keep=0
    is_tmpfs "$place" || keep=1
    if wants spread || wants rerun; then
        # The source, the destinations, and the two copies of the rerun.
        why=$(room "$place" $((FILES * small_bytes * 3 + (64 << 20))) $((FILES * 3 + FOLDERS * 3 + 100)))
        if [ -n "$why" ]; then
            wants spread && { ROWS+=("spread|$place"); SKIPPED[spread|$place]=$why; }
            wants rerun && { ROWS+=("rerun|$place"); SKIPPED[rerun|$place]=$why; }
            say "skipped spread and rerun on $place: $why"
        else
            k=$keep
            [ -z "$(room "$place" $((FILES * small_bytes * (copies + 3) + (64 << 20))) $((FILES * (copies + 3) + 100)))" ] || k=0
            work+=("$base"); mkdir -p "$base"
            say "making $FILES files of $FILE_BYTES bytes in $FOLDERS folders on $place"
            make_tree "$base/src" "$FILES" "$FOLDERS" "$FILE_BYTES"
            wants spread && bench_copies spread "$place" "$base/src" "$FILES" "$k"
            wants rerun && bench_rerun "$place" "$base/src"
            rm -rf "$base"
            wants flat && settle "$place"
        fi
    fi
    if wants flat; then
        why=$(room "$place" $((FILES * small_bytes * 2 + (64 << 20))) $((FILES * 2 + 100)))
        if [ -n "$why" ]; then
            ROWS+=("flat|$place"); SKIPPED[flat|$place]=$why
            say "skipped flat on $place: $why"
        else
            k=$keep
            [ -z "$(room "$place" $((FILES * small_bytes * (copies + 1) + (64 << 20))) $((FILES * (copies + 1) + 100)))" ] || k=0
            work+=("$base"); mkdir -p "$base"
            say "making $FILES files of $FILE_BYTES bytes in one folder on $place"
            make_tree "$base/src" "$FILES" 1 "$FILE_BYTES"
            bench_copies flat "$place" "$base/src" "$FILES" "$k"
            rm -rf "$base"
        fi
    fi
    if wants big; then
        why=$(room "$place" $((BIG_COUNT * (BIG_MIB << 20) * 2 + (64 << 20))) 100)
        if [ -n "$why" ]; then
            ROWS+=("big|$place"); SKIPPED[big|$place]=$why
            say "skipped big on $place: $why"
        else
            work+=("$base"); mkdir -p "$base"
            say "making $BIG_COUNT files of $BIG_MIB MiB on $place"
            make_big "$base/src"
            bench_copies big "$place" "$base/src" "$BIG_COUNT" 0
            rm -rf "$base"
        fi
    fi
done

# ---------------------------------------------------------------- the table

label() {
    case $1 in
        spread) echo "$FILES x $FILE_BYTES B, $FOLDERS dirs" ;;
        flat) echo "$FILES x $FILE_BYTES B, 1 dir" ;;
        big) echo "$BIG_COUNT x $BIG_MIB MiB" ;;
        rerun) echo "rerun, nothing to do" ;;
    esac
}
# The target of a row, as "cp-limit rsync-limit" (- for none).
target() {
    local workload=$1 tool=$2
    case "$workload|$tool" in
        "spread|corvane-copy /E /MT:8") echo "0.80 0.50" ;;
        "spread|corvane-copy /E") echo "1.00 -" ;;
        flat\|corvane-copy*) echo "1.00 -" ;;
        big\|corvane-copy*) echo "1.05 -" ;;
        rerun\|corvane-copy*) echo "- 0.50" ;;
        *) echo "- -" ;;
    esac
}

echo
printf '%-26s %-16s %-22s %9s %8s %9s  %s\n' workload place tool "median s" "x cp -a" "x rsync" "target"
printf '%s\n' "$(printf '%.0s-' {1..110})"
met=0 missed=0
for row in "${ROWS[@]}"; do
    workload=${row%%|*} place=${row#*|}
    if [ -n "${SKIPPED[$row]:-}" ]; then
        printf '%-26s %-16s skipped: %s\n' "$(label "$workload")" "$place" "${SKIPPED[$row]}"
        continue
    fi
    cp_median=$(printf '%s' "${TIMES[$row|cp -a]:-}" | median)
    rsync_median=$(printf '%s' "${TIMES[$row|rsync -a]:-}" | median)
    for tool in "${TOOLS[@]}"; do
        [ -n "${TIMES[$row|$tool]:-}" ] || continue
        m=$(printf '%s' "${TIMES[$row|$tool]}" | median)
        vs_cp=$( [ -n "$cp_median" ] && awk -v a="$m" -v b="$cp_median" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }' || echo "-")
        vs_rsync=$( [ -n "$rsync_median" ] && awk -v a="$m" -v b="$rsync_median" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }' || echo "-")
        read -r cp_limit rsync_limit < <(target "$workload" "$tool")
        verdict=""
        if [ "$cp_limit" != "-" ] || [ "$rsync_limit" != "-" ]; then
            ok=1
            [ "$cp_limit" != "-" ] && [ "$vs_cp" != "-" ] && awk -v v="$vs_cp" -v l="$cp_limit" 'BEGIN { exit !(v > l) }' && ok=0
            [ "$rsync_limit" != "-" ] && [ "$vs_rsync" != "-" ] && awk -v v="$vs_rsync" -v l="$rsync_limit" 'BEGIN { exit !(v > l) }' && ok=0
            verdict=""
            [ "$cp_limit" = "-" ] || verdict+="<=$cp_limit cp "
            [ "$rsync_limit" = "-" ] || verdict+="<=$rsync_limit rsync "
            if [ "$ok" = 1 ]; then verdict+="met"; met=$((met + 1)); else verdict+="MISSED"; missed=$((missed + 1)); fi
        fi
        printf '%-26s %-16s %-22s %9s %8s %9s  %s\n' "$(label "$workload")" "$place" "$tool" "$m" "$vs_cp" "$vs_rsync" "$verdict"
    done
done

# ---------------------------------------------------------------- system calls

# Sums the calls of an strace -c table.
strace_calls() { awk '/^------/ { part++; next } part == 1 && $1 ~ /^[0-9.]+$/ { n += $4 } END { print n + 0 }' "$1"; }
# The four system calls called most, with their calls per file.
strace_top() {
    awk -v files="$2" '/^------/ { part++; next } part == 1 && $1 ~ /^[0-9.]+$/ { print $4, $NF }' "$1" |
        sort -rn | head -4 | awk -v files="$2" '{ printf "%s %.1f  ", $2, $1 / files }'
}

if wants syscalls; then
    folders=$(( STRACE_FILES >= 100 ? 10 : 1 ))
    echo
    why_all=""
    for place in "${PLACES[@]}"; do
        why=$(room "$place" $((STRACE_FILES * small_bytes * 4 + (16 << 20))) $((STRACE_FILES * 4 + 100)))
        [ -z "$why" ] && break
        why_all+="$why; "
    done
    base="$place/corvane-bench.$$"
    if [ -n "$why" ]; then
        echo "system calls: skipped: ${why_all%; }"
    else
        work+=("$base"); mkdir -p "$base"
        make_tree "$base/src" "$STRACE_FILES" "$folders" "$FILE_BYTES"
        echo "system calls per file, strace -c -f, $STRACE_FILES files of $FILE_BYTES B in $folders folders on $place"
        printf '%-22s %8s %8s  %s\n' tool copy rerun "most called in the copy (per file)"
        for tool in "${TOOLS[@]}"; do
            dst="$base/dst"
            rm -rf "$dst"
            run_tool strace -c -f -o "$base/copy.strace" "$tool" "$base/src" "$dst" \
                || die "$tool failed under strace"
            rerun="-"
            if [ "$tool" != "cp -a" ]; then
                run_tool strace -c -f -o "$base/rerun.strace" "$tool" "$base/src" "$dst" \
                    || die "$tool failed its rerun under strace"
                rerun=$(awk -v c="$(strace_calls "$base/rerun.strace")" -v f="$STRACE_FILES" 'BEGIN { printf "%.1f", c / f }')
            fi
            copy=$(awk -v c="$(strace_calls "$base/copy.strace")" -v f="$STRACE_FILES" 'BEGIN { printf "%.1f", c / f }')
            printf '%-22s %8s %8s  %s\n' "$tool" "$copy" "$rerun" "$(strace_top "$base/copy.strace" "$STRACE_FILES")"
        done
        rm -rf "$base"
    fi
fi

# ---------------------------------------------------------------- memory

if wants memory; then
    echo
    chosen="" why_all=""
    for place in "${PLACES[@]}"; do
        why=$(room "$place" $((MEMORY_FILES / 1000 * 8192 * 2 + (256 << 20))) $((MEMORY_FILES * 2 + 10000)))
        if [ -z "$why" ]; then chosen=$place; break; fi
        why_all+="$why; "
    done
    if [ -z "$chosen" ]; then
        echo "peak memory: skipped: ${why_all%; }"
    else
        base="$chosen/corvane-bench.$$"
        work+=("$base"); mkdir -p "$base"
        mfolders=$(( MEMORY_FILES >= 1000 ? MEMORY_FILES / 1000 : 1 ))
        say "making $MEMORY_FILES empty files in $mfolders folders on $chosen"
        make_tree "$base/src" "$MEMORY_FILES" "$mfolders" 0
        echo "peak memory (maximum resident set, /usr/bin/time -v), $MEMORY_FILES empty files in $mfolders folders on $chosen"
        printf '%-22s %10s %9s  %s\n' tool "peak MiB" "seconds" target
        for tool in "cp -a" "rsync -a" "corvane-copy /E" "corvane-copy /E /MT:8"; do
            rm -rf "$base/dst"
            sync -f "$base"
            run_tool /usr/bin/time -v -o "$base/time.txt" "$tool" "$base/src" "$base/dst" \
                || die "$tool failed on $MEMORY_FILES files"
            kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$base/time.txt")
            wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$base/time.txt")
            mib=$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')
            verdict=""
            if [[ $tool == corvane-copy* ]]; then
                if awk -v m="$mib" 'BEGIN { exit !(m <= 64) }'; then verdict="<=64 MiB met"; met=$((met + 1)); else verdict="<=64 MiB MISSED"; missed=$((missed + 1)); fi
            fi
            printf '%-22s %10s %9s  %s\n' "$tool" "$mib" "$wall" "$verdict"
        done
        rm -rf "$base"
    fi
fi

echo
echo "targets: $met met, $missed missed"
