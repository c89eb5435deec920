#!/bin/sh
# Runs every fuzzing harness of a built fuzzing tree for a while and reports the executions
# each survived. Any sanitizer report, crash, leak, time-out or fatal error fails the run; the
# input that caused it is kept in BUILD/crashes/NAME/ (copy it to tests/fuzz/regressions/NAME/
# once the loader is fixed).
#
#   tests/fuzz/run-fuzzers.sh [--keep] [--runs N] [--jobs K] [--parallel P] [--logs DIR] BUILD SECONDS [NAME...]
#
# Without --keep each harness works on a scratch copy of its seeds and kept inputs, so the
# committed corpus never grows; with --keep the corpus grows in BUILD/corpus/NAME/ from one
# run to the next. --runs stops a harness after N executions (per job) even before SECONDS;
# --jobs runs K processes of each harness on the shared corpus. Harnesses run one after the
# other, the fastest first, unless --parallel P runs P of them side by side.
set -u

keep=0
runs=0
jobs=1
parallel=1
logs=""
while [ $# -gt 0 ]; do
    case "$1" in
    --keep) keep=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --parallel) parallel=$2; shift 2 ;;
    --logs) logs=$2; shift 2 ;;
    *) break ;;
    esac
done
if [ $# -lt 2 ]; then
    echo "usage: $0 [--keep] [--runs N] [--jobs K] [--parallel P] [--logs DIR] BUILD SECONDS [NAME...]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
seconds=$2
shift 2
[ -n "$logs" ] || logs="$build/logs"
mkdir -p "$logs"
logs=$(cd "$logs" && pwd)

# Fastest first (executions a second on this machine's kind).
names=${*:-"bmp pal shp_prepare spr script fnt resfile mat lbm wle ini runtime shp_takein asc image model"}

# Inputs larger than this gain the loader nothing but slowness: a shape, a world or a
# listing of a few tens of KB reaches every path a large one does.
max_len() {
    case "$1" in
    shp_takein | wle | runtime | asc) echo 65536 ;;
    lbm | bmp | spr) echo 32768 ;;
    *) echo 16384 ;;
    esac
}

[ "$parallel" -ge 1 ] 2>/dev/null || parallel=1

# Checked before anything runs, so a missing harness stops the whole run at once. A report
# left by an earlier run must not stand in for one this run failed to write.
for name in $names; do
    if [ ! -x "$build/fuzz_$name" ]; then
        echo "run-fuzzers: $build/fuzz_$name is not built" >&2
        exit 2
    fi
    rm -f "$logs/$name.out" "$logs/$name.status" "$logs/$name.count"
done

# One harness: its report goes to $logs/$name.out, its execution count to $logs/$name.count,
# and its exit status says whether it stayed clean.
run_one() {
    name=$1
    program="$build/fuzz_$name"
    mkdir -p "$build/crashes/$name"
    if [ "$keep" -eq 1 ]; then
        corpus="$build/corpus/$name"
        mkdir -p "$corpus"
    else
        corpus=$(mktemp -d)
    fi
    # The seeds and the kept crash inputs are read, never written.
    inputs="$here/corpus/$name"
    [ -d "$here/regressions/$name" ] && inputs="$inputs $here/regressions/$name"

    total=0
    status=0
    j=1
    pids=""
    while [ "$j" -le "$jobs" ]; do
        # shellcheck disable=SC2086
        "$program" "$corpus" $inputs -max_total_time="$seconds" -runs="$([ "$runs" -gt 0 ] && echo "$runs" || echo -1)" \
            -max_len="$(max_len "$name")" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 \
            -artifact_prefix="$build/crashes/$name/" >"$logs/$name.$j.log" 2>&1 &
        pids="$pids $!"
        j=$((j + 1))
    done
    for pid in $pids; do
        wait "$pid" || status=1
    done
    j=1
    while [ "$j" -le "$jobs" ]; do
        n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.$j.log" | tail -n 1)
        total=$((total + ${n:-0}))
        j=$((j + 1))
    done
    [ "$keep" -eq 1 ] || rm -rf "$corpus"
    echo "$total" >"$logs/$name.count"
    if [ "$status" -ne 0 ]; then
        echo "fuzz_$name: FAILED after $total executions; log: $logs/$name.*.log, inputs: $build/crashes/$name/"
        grep -h -m 3 -E "ERROR|SUMMARY|FATAL|Test unit written" "$logs/$name".*.log | sed 's/^/    /'
    else
        echo "fuzz_$name: $total executions, clean"
    fi
    return "$status"
}

# --parallel P deals the harnesses round-robin to P lanes that run side by side; each lane
# runs its harnesses one after the other. The reports are printed in the list's order: as each
# harness ends with one lane (a long run shows its progress), all at the end with more.
lane=1
while [ "$lane" -le "$parallel" ]; do
    (
        i=0
        for name in $names; do
            if [ $((i % parallel + 1)) -eq "$lane" ]; then
                run_one "$name" >"$logs/$name.out" 2>&1
                echo "$?" >"$logs/$name.status"
                [ "$parallel" -gt 1 ] || cat "$logs/$name.out"
            fi
            i=$((i + 1))
        done
    ) &
    lane=$((lane + 1))
done
wait

failed=0
passed=0
broken=0
summary=""
for name in $names; do
    [ "$parallel" -eq 1 ] || cat "$logs/$name.out" 2>/dev/null || echo "fuzz_$name: FAILED, no report"
    if [ "$(cat "$logs/$name.status" 2>/dev/null)" = 0 ]; then
        passed=$((passed + 1))
    else
        failed=1
        broken=$((broken + 1))
    fi
    summary="$summary fuzz_$name=$(cat "$logs/$name.count" 2>/dev/null || echo 0)"
done
echo "run-fuzzers: executions:$summary"
echo "fuzz: $passed passed, $broken failed"
exit $failed
