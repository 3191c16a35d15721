#!/usr/bin/env bash
# Builds the Debian package of the program alone (no tests, no benchmarks)
# with Debian's build flags, and checks it: its control data and
# dependencies, its files, the program, manual page, units and completion
# it carries, and lintian. The package is left in build-package/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --no-build

build_dir=${PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUELMO_TESTS=OFF -DQUELMO_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build_dir" -j2
rm -f "$build_dir"/quelmo_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/quelmo_*.deb)
echo "Package: $deb"

failures=0
fail() {
  echo "package check FAILED: $*" >&2
  failures=$((failures + 1))
}

info=$(dpkg-deb --info "$deb")
version=$(sed -n 's/^project(quelmo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = quelmo ] || fail "package name: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version), not $version"
depends=$(field Depends | tr ',' '\n' | awk '{print $1}')
for dep in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 adduser; do
  grep -qxF "$dep" <<<"$depends" || fail "Depends lacks $dep: $(field Depends)"
done
[ "$(field Recommends)" = qt6-translations-l10n ] || fail "Recommends: $(field Recommends)"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/quelmo ./usr/share/man/man1/quelmo.1.gz ./usr/lib/systemd/system/quelmo@.service \
  ./usr/lib/systemd/system/quelmo@.timer ./usr/share/bash-completion/completions/quelmo \
  ./usr/share/doc/quelmo/examples/quelmo.ini ./usr/share/doc/quelmo/copyright ./usr/share/doc/quelmo/changelog.gz; do
  grep -qxF "$path" <<<"$contents" || fail "missing $path"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/quelmo" --version)" = "quelmo $version" ] || fail "quelmo --version"
"$root/usr/bin/quelmo" --help | grep -q '^Usage: quelmo' || fail "quelmo --help"
grep -qx 'ExecStart=/usr/bin/quelmo --config /etc/quelmo/%i.ini' "$root/usr/lib/systemd/system/quelmo@.service" ||
  fail "the service does not start /usr/bin/quelmo"
man_warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/quelmo.1.gz" 2>&1 >/dev/null || true)
[ -z "$man_warnings" ] || fail "man page: $man_warnings"
MANWIDTH=80 man -l "$root/usr/share/man/man1/quelmo.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' || fail "man page body"

# The completion offers the options, and the sites of the settings file
# named on the line being typed.
printf '[PROGRAM]\nIZBRANO=alfa\n[alfa]\nFTPURL=a.example\n[beta]\n ftpurl = b.example\n[gama]\nftpdir=/x/\n' \
  >"$root/sites.ini"
completion=$(
  bash -c '
    source "$1"
    complete_line() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _quelmo; echo "${COMPREPLY[*]}"; }
    complete_line quelmo --ver
    complete_line quelmo -c "$2" ""
    complete_line quelmo --config="$2" b
    complete_line quelmo --log-json "${2%.ini}"
    complete_line quelmo --log-json = "${2%.ini}"
    complete_line quelmo --config = "$2" --log-json=x ""
  ' _ "$root/usr/share/bash-completion/completions/quelmo" "$root/sites.ini"
)
[ "$completion" = $'--version\nalfa beta\nbeta\n'"$root/sites.ini"$'\n'"$root/sites.ini"$'\nalfa beta' ] ||
  fail "completion gave: $completion"

# The units as systemd reads them (where it is installed). The program and
# the manual page they point to are in the package, not on this machine.
if command -v systemd-analyze >/dev/null; then
  verify=$(systemd-analyze verify "$root/usr/lib/systemd/system/quelmo@.timer" \
    "$root/usr/lib/systemd/system/quelmo@.service" 2>&1 |
    grep -v -e "Command 'man quelmo(1)' failed" -e "Command /usr/bin/quelmo is not executable" || true)
  [ -z "$verify" ] || fail "systemd-analyze verify: $verify"
fi

start=$(date +%s)
lintian --fail-on error,warning --tag-display-limit 0 "$deb" || fail "lintian"
echo "lintian took $(($(date +%s) - start)) s"

if [ $failures -gt 0 ]; then
  echo "$failures package checks failed" >&2
  exit 1
fi
echo "package checks passed"
