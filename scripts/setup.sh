#!/usr/bin/env bash
# Installs what Velmora needs to build and test on Debian 12, and builds it into build/.
# Sourced by run.sh and test.sh; safe to run again: present packages are not reinstalled.
set -euo pipefail

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_BUILD=${VELMORA_BUILD:-$VELMORA_ROOT/build}

velmora_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev zlib1g-dev
    libbenchmark-dev libsqlite3-dev sqlite3
    xvfb xauth fonts-noto-cjk
    libreoffice-writer libreoffice-calc libreoffice-dev libreoffice-dev-common xdotool libx11-dev
    libquazip1-qt6-dev libgsf-1-dev ccache
    openbox
)

velmora_install_packages() {
    local missing=()
    local package
    for package in "${velmora_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

velmora_build() {
    # ccache, when present, makes rebuilds in fresh clones and other work trees of the same machine cheap.
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$VELMORA_ROOT")}
        export CCACHE_NOHASHDIR=1
    fi
    cmake -S "$VELMORA_ROOT" -B "$VELMORA_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${VELMORA_BUILD_TYPE:-RelWithDebInfo}" \
        "${launcher[@]}" "$@"
    cmake --build "$VELMORA_BUILD" --parallel "$(nproc)"
}

# The delivered appdata/ becomes the user's library from the first run on: only files that are not there yet
# are laid down, nothing the user already has is overwritten.
velmora_lay_appdata() {
    local target="$VELMORA_BUILD/appdata"
    mkdir -p "$target"
    (cd "$VELMORA_ROOT/appdata" && find . -type f -print0) | while IFS= read -r -d '' file; do
        if [ ! -e "$target/$file" ]; then
            mkdir -p "$target/$(dirname "$file")"
            cp -p "$VELMORA_ROOT/appdata/$file" "$target/$file"
        fi
    done
}

# The program's entry in the desktop's menus, with its icon, for the user who runs it: it starts the program
# built here.
velmora_install_desktop_entry() {
    local data=${XDG_DATA_HOME:-$HOME/.local/share}
    mkdir -p "$data/applications" "$data/icons/hicolor/scalable/apps"
    sed "s|@VELMORA_PROGRAM@|$VELMORA_BUILD/velmora|" "$VELMORA_ROOT/desktop/velmora.desktop.in" \
        >"$data/applications/velmora.desktop"
    cp "$VELMORA_ROOT/desktop/velmora.svg" "$data/icons/hicolor/scalable/apps/velmora.svg"
}
