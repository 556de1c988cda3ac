#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, installs Velmora into ~/.local (the program, velmoradb and the
# desktop entry) and starts it on the library in the data folder. Afterwards `~/.local/bin/velmora` (or the menu
# entry) starts it without a rebuild; deleting build/ loses nothing.
set -euo pipefail
. "$(dirname "$0")/scripts/setup.sh"
velmora_install_packages
velmora_build -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
cmake --install "$VELMORA_BUILD" --prefix "$HOME/.local"
velmora_move_old_library
exec "$HOME/.local/bin/velmora" "$@"
