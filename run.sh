#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and starts Velmora on the library in the data folder.
set -euo pipefail
. "$(dirname "$0")/scripts/setup.sh"
velmora_install_packages
velmora_build
velmora_move_old_library
velmora_install_desktop_entry
exec "$VELMORA_BUILD/velmora" "$@"
