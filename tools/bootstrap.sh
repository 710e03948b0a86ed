#!/usr/bin/env bash
# One-step set-up on Debian 12: installs what the player needs, builds it, and
#   tools/bootstrap.sh run    starts the player;
#   tools/bootstrap.sh test   runs the whole test suite headless.
# Extra CMake options can be passed in KZP_CMAKE_ARGS (e.g. -DKZP_SANITIZE=ON).
set -euo pipefail

mode=${1:-run}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KZP_BUILD_DIR:-$here/build}

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  mplayer ffmpeg libbluray-dev libfontconfig-dev
  fonts-crosextra-carlito fonts-noto-cjk
)
test_packages=(xvfb xauth xdotool x11-utils dvdauthor imagemagick dbus dbus-x11 procps python3 desktop-file-utils
               openbox)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

want=("${packages[@]}")
if [ "$mode" = test ]; then want+=("${test_packages[@]}"); fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# shellcheck disable=SC2086
cmake -S "$here" -B "$build" -G Ninja "${launcher[@]}" ${KZP_CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"

case "$mode" in
  run)
    exec "$build/bin/kestrune-zyl-player"
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    cd "$build"
    # Long load tests (label "perf") stay out of the everyday run; CI runs
    # them once on their own.
    ctest --output-on-failure -j"$(nproc)" --timeout 600 -LE perf
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
