#!/usr/bin/env bash
# Reads a CTest log and fails when the run was less than it seems: a label that ran no test (its tests were not
# built) or, with VELMORA_FAIL_ON_SKIP=1, a skipped test not listed with its reason in tests/expected-skips.txt.
set -euo pipefail
log=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
status=0

for label in unit gui office; do
    if ! grep -Eq "^$label +=.*\([1-9][0-9]* tests?\)" "$log"; then
        echo "check-test-run: no test labelled '$label' ran" >&2
        status=1
    fi
done

skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Skipped)$/\1/p' "$log")
for test in $skipped; do
    reason=$(sed -n "s/^$test[[:space:]]\+//p" "$root/tests/expected-skips.txt")
    if [ -n "$reason" ]; then
        echo "check-test-run: $test skipped as expected: $reason"
    elif [ "${VELMORA_FAIL_ON_SKIP:-0}" = 1 ]; then
        echo "check-test-run: $test was skipped; it must run here (or be listed in tests/expected-skips.txt)" >&2
        status=1
    else
        echo "check-test-run: $test was skipped" >&2
    fi
done
exit $status
