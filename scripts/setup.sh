#!/usr/bin/env bash
# Installs what Velmora needs to build and test on Debian 12, and builds it into build/.
# Sourced by run.sh and test.sh; safe to run again: present packages are not reinstalled.
set -euo pipefail

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_BUILD=${VELMORA_BUILD:-$VELMORA_ROOT/build}

# What building and running the program needs; the Chinese language pack makes the office inside the tabs speak
# the interface's language, and Qt's own translations do the same for file dialogs and standard buttons.
velmora_packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev zlib1g-dev
    fonts-noto-cjk
    libreoffice-writer libreoffice-calc libreoffice-l10n-zh-cn libreoffice-dev libreoffice-dev-common libx11-dev
    libquazip1-qt6-dev libgsf-1-dev libsqlite3-dev
)
# What the tests and benchmarks need on top: a virtual display with a window manager, system-call injection for
# the kill tests, and Google Benchmark with SQLite's shell to compare against.
velmora_test_packages=(
    libbenchmark-dev sqlite3
    xvfb xauth xdotool openbox strace
)

# velmora_install_packages [test]: installs what is missing of the program's packages, and with "test" of the
# tests' too.
velmora_install_packages() {
    local wanted=("${velmora_packages[@]}")
    if [ "${1:-}" = test ]; then
        wanted+=("${velmora_test_packages[@]}")
    fi
    local missing=()
    local package
    for package in "${wanted[@]}"; do
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

# Where the program keeps the library when neither VELMORA_APPDATA nor a portable appdata/ says otherwise.
velmora_data_folder() {
    local base=${XDG_DATA_HOME:-}
    case "$base" in
    /*) ;;
    *) base="$HOME/.local/share" ;;
    esac
    echo "$base/velmora"
}

# Older versions kept the library in build/appdata/, where `rm -rf build` deletes it (and while it exists the
# program takes it for a portable folder). It is moved once to the data folder, when that holds no library yet;
# the program lays its delivered files itself on first start.
velmora_move_old_library() {
    local old="$VELMORA_BUILD/appdata"
    [ -d "$old" ] || return 0
    if [ -z "$(ls -A "$old")" ]; then
        rmdir "$old"
        return 0
    fi
    if [ -n "${VELMORA_APPDATA:-}" ]; then
        echo "Note: a library is still in $old; VELMORA_APPDATA names $VELMORA_APPDATA, so it is left where it is."
        return 0
    fi
    local target
    target=$(velmora_data_folder)
    if [ -e "$target/worddata.idx" ] || [ -e "$target/worddata.data" ]; then
        echo "Note: a library is in both $old and $target. While $old exists Velmora uses it (a portable folder);"
        echo "      move or delete it to use $target."
        return 0
    fi
    mkdir -p "$(dirname "$target")"
    if [ -d "$target" ]; then
        # Only delivered files can be here yet; the user's own copies from the old library win.
        cp -a "$old/." "$target/" && rm -rf "$old"
    else
        mv "$old" "$target"
    fi
    # The string file holds passwords in plain text: nobody else on the machine may read the library.
    chmod -R go-rwx "$target"
    echo "Moved your Velmora library from $old to $target (where it now lives; build/ may be deleted safely)."
}
