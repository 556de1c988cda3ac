#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
. "$(dirname "$0")/scripts/setup.sh"
velmora_install_packages
velmora_build
velmora_lay_appdata
cd "$VELMORA_BUILD"
ctest --output-on-failure --parallel "$(nproc)" "$@"
