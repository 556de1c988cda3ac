#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
. "$(dirname "$0")/scripts/setup.sh"
velmora_install_packages
velmora_build
cd "$VELMORA_BUILD"
# The office tests place LibreOffice's windows on a display; a private virtual one when there is none.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a ctest --output-on-failure --parallel "$(nproc)" "$@"
fi
ctest --output-on-failure --parallel "$(nproc)" "$@"
