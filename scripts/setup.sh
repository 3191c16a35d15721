#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building, testing, the
# demo and the package, then builds. Safe to run again: installed packages
# are left alone.
#   --program-only  build the program alone (no tests, no benchmarks)
#   --no-build      install the packages and stop
set -euo pipefail
cd "$(dirname "$0")/.."

build=all
for arg in "$@"; do
  case $arg in
  --program-only) build=program ;;
  --no-build) build=none ;;
  *)
    echo "setup.sh: unknown option $arg" >&2
    exit 2
    ;;
  esac
done

# vsftpd and proftpd are deliberately absent: they conflict with each other
# and would start services; tests/support/realserver.py unpacks them.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  qt6-translations-l10n
  libgtest-dev
  python3 python3-pyftpdlib python3-openssl python3-cryptography
  xvfb xauth libxtst6
  curl lftp openssl
  clang-format clang-tidy
  fonts-liberation
  scdoc
  dpkg-dev file lintian man-db
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${BUILD_DIR:-build}
case $build in
all)
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELMO_TESTS=ON -DQUELMO_BENCH=ON >/dev/null
  cmake --build "$build_dir" -j2
  ;;
program)
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELMO_TESTS=OFF -DQUELMO_BENCH=OFF >/dev/null
  cmake --build "$build_dir" -j2 --target quelmo
  ;;
none) ;;
esac
