#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and runs every test.
# Arguments go to ctest (`./test.sh -L unit`); a run of the whole suite also checks that every label ran.
set -euo pipefail
. "$(dirname "$0")/scripts/setup.sh"
velmora_install_packages test
velmora_build -DVELMORA_BUILD_TESTS=ON
cd "$VELMORA_BUILD"
log=$VELMORA_BUILD/ctest-last.log
runner=()
# The office tests place LibreOffice's windows on a display; a private virtual one when there is none.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    runner=(xvfb-run -a)
fi
status=0
"${runner[@]}" ctest --output-on-failure --parallel "$(nproc)" "$@" 2>&1 | tee "$log" || status=$?
if [ "$status" -eq 0 ] && [ $# -eq 0 ]; then
    "$VELMORA_ROOT/scripts/check-test-run.sh" "$log" || status=$?
fi
exit "$status"
