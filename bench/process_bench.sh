#!/usr/bin/env bash
# The whole process, start to exit: `velmoradb tags QUERY` on a generated library against the sqlite3 command
# answering the same query on the same rows. Every velmoradb process loads the store afresh, so this is where
# loading more than a command needs shows.
#
# usage: bench/process_bench.sh [BUILD_DIR] [RUNS] [COUNT]
#   BUILD_DIR  holds velmoradb and velmora_genlib (default: build/ of this repository); use a Release build
#   RUNS       timed runs of each command (default 30)
#   COUNT      documents in the generated library (default 100000)
# Times come from hyperfine when it is installed, otherwise (or with VELMORA_BENCH_LOOP=1) from a loop of runs.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
runs=${2:-30}
count=${3:-100000}
velmoradb=$build/velmoradb
genlib=$build/velmora_genlib

for tool in "$velmoradb" "$genlib"; do
    if [[ ! -x $tool ]]; then
        echo "process_bench: $tool is not built (cmake --build $build --target velmoradb velmora_genlib)" >&2
        exit 2
    fi
done
if ! command -v sqlite3 >/dev/null; then
    echo "process_bench: the sqlite3 command is missing (apt-get install sqlite3)" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora_process_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
appdata=$work/appdata

"$genlib" "$appdata" "$count" >"$work/genlib.txt"
query=$(sed -n 's/^tag query: //p' "$work/genlib.txt")
sql=$(sed -n 's/^tag sql: //p' "$work/genlib.txt")
db=$appdata/library.sqlite
echo "library: $(sed -n 's/^records: //p' "$work/genlib.txt") records in $appdata"
echo "query:   $query"

# Both commands print "position|path" lines (the SQLite ids are the record positions), so their answers can be
# compared line for line before their times are.
"$velmoradb" --appdata "$appdata" tags "$query" >"$work/velmoradb.txt"
sqlite3 "$db" "$sql" >"$work/sqlite3.txt"
listed=$(wc -l <"$work/velmoradb.txt")
if ! cmp -s "$work/velmoradb.txt" "$work/sqlite3.txt"; then
    echo "process_bench: velmoradb lists $listed documents, sqlite3 $(wc -l <"$work/sqlite3.txt"); they differ:" >&2
    diff "$work/velmoradb.txt" "$work/sqlite3.txt" | head -5 >&2
    exit 1
fi
echo "listed:  $listed documents by each"

ours=$(printf '%q ' "$velmoradb" --appdata "$appdata" tags "$query")
theirs=$(printf '%q ' sqlite3 "$db" "$sql")

median_ms() { # the median of nanosecond figures on standard input, in milliseconds
    sort -n | awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%.2f", m / 1e6 }'
}

if [[ -z ${VELMORA_BENCH_LOOP:-} ]] && command -v hyperfine >/dev/null && command -v python3 >/dev/null; then
    # POSIX single quotes, which hyperfine's own word splitting reads.
    quote() {
        local arg out=() q="'"
        for arg; do out+=("'${arg//$q/$q\\$q$q}'"); done
        echo "${out[*]}"
    }
    # No shell in between (-N): hyperfine discards the output itself, and a shell's start-up would be a large
    # part of the few milliseconds sqlite3 takes.
    hyperfine -N --warmup 3 --runs "$runs" --style basic --export-json "$work/times.json" \
        -n velmoradb "$(quote "$velmoradb" --appdata "$appdata" tags "$query")" \
        -n sqlite3 "$(quote sqlite3 "$db" "$sql")"
    read -r ours_ms theirs_ms < <(python3 - "$work/times.json" <<'EOF'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
print(" ".join("%.2f" % (r["median"] * 1000) for r in results))
EOF
    )
else
    time_runs() {
        for ((i = 0; i < 3; ++i)); do eval "$1" >/dev/null; done
        for ((i = 0; i < runs; ++i)); do
            start=$(date +%s%N)
            eval "$1" >/dev/null
            echo $(($(date +%s%N) - start))
        done | median_ms
    }
    ours_ms=$(time_runs "$ours")
    theirs_ms=$(time_runs "$theirs")
fi

echo
echo "median over $runs runs:"
printf '  velmoradb tags  %8s ms\n' "$ours_ms"
printf '  sqlite3         %8s ms\n' "$theirs_ms"
awk -v a="$ours_ms" -v b="$theirs_ms" 'BEGIN {
    r = a / b; printf "  ratio           %8.2f  (goal: at most 3: %s)\n", r, (r <= 3 ? "met" : "missed") }'
