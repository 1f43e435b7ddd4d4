#!/usr/bin/env bash
# Installs the build dependencies on Debian 12, builds, and then either starts the application
# ("run") or runs the whole test suite headless ("test").
set -euo pipefail
mode=${1:-run}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$here/build}

packages=(build-essential cmake pkg-config ccache
  qt6-base-dev qt6-webengine-dev qt6-pdf-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev libegl-dev libglu1-mesa-dev
  libplist-dev libimobiledevice-dev libssl-dev libsqlite3-dev libxxhash-dev
  python3 python3-cryptography libplist-utils sqlite3 openssl
  python3-phonenumbers python3-icalendar iso-codes mobile-broadband-provider-info
  xvfb xauth fonts-dejavu-core fonts-noto-color-emoji
  python3-vobject poppler-utils
  libheif-dev libheif1 libheif-examples
  dosfstools fusefat ntfs-3g exfatprogs exfat-fuse fuse3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Missing packages: ${missing[*]}" >&2
      echo "Installing them needs root: run this script as root, or install sudo first." >&2
      exit 1
    fi
    sudo=sudo
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

export CCACHE_BASEDIR=$here CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache} CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-2G}
jobs=$(nproc)
# One configuration for both commands, so the tests build on what "run" compiled and the program on
# what "test" compiled: optimised as shipped but without debug information, which would triple the
# size of the build and of the compiler cache on small disks.
configure() {
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG"
}
case "$mode" in
  run)
    configure
    cmake --build "$build" -j"$jobs" --target quillmarrow
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
      echo "Built $build/src/quillmarrow, but it needs a graphical session to start and none is" >&2
      echo "here (neither DISPLAY nor WAYLAND_DISPLAY is set): run this command again from one." >&2
      exit 1
    fi
    exec "$build/src/quillmarrow"
    ;;
  test)
    configure
    cmake --build "$build" -j"$jobs"
    export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
    export TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8
    cd "$build" && ctest --output-on-failure -j"$jobs"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
