#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building, testing and the
# demo, then builds. Safe to run again: installed packages are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

# vsftpd and proftpd are deliberately absent: they conflict with each other
# and would start services; tests/support/realserver.py unpacks them.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev
  python3 python3-pyftpdlib
  xvfb xauth
  curl lftp openssl
  clang-format clang-tidy
  fonts-liberation
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
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2
