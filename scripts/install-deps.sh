#!/usr/bin/env bash
# Installs from Debian 12's archive what Rain needs:
#
#   scripts/install-deps.sh run       to build the program and its tools and run them
#   scripts/install-deps.sh test      all of that, and the test suite and benchmark
#   scripts/install-deps.sh package   what building the Debian package needs, and lintian
#
# Without an argument it installs everything, as `test` does.  When every
# package is already installed it neither updates the package lists nor
# installs anything, so it needs no network and no root then.
set -euo pipefail

run_packages=(
  # build
  g++ cmake ninja-build pkg-config
  # the program: window, events, timer, message box; Xlib for the window
  # manager hints and X errors, RandR for the monitors, and the X extension
  # library for the monitors' power state (DPMS)
  libsdl2-dev libx11-dev libxrandr-dev libxext-dev
  # the Wayland backend: the client library and its code generator, the
  # protocols' XML, keyboard maps, and title bars where the compositor
  # draws none (with the plugin that draws them)
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev libdecor-0-dev libdecor-0-plugin-1-cairo
  # window description parsing; PNG output of the frame tool
  nlohmann-json3-dev libpng-dev
)

test_packages=(
  # tests and benchmarks
  libgtest-dev libbenchmark-dev valgrind
  # tests of the real window: virtual X server, fonts for SDL's message box,
  # XTest to drive the window, a small window manager, and an X protocol
  # tracer that reads back the error box's text
  xvfb xfonts-base libxtst-dev openbox xtrace
  # tests on Wayland: two headless compositors, screenshots and keys for
  # sway, and Xwayland for the benchmark's side-by-side measurement
  sway weston grim wtype xwayland
  # checks of the installed desktop entry, AppStream metadata and manual page
  desktop-file-utils appstream groff-base
  # GNOME's dialog helper, which SDL's message box falls back to: the tests
  # hold that it never replaces the program's own error line
  zenity
)

# The package's Build-Depends (debian/control; dpkg-buildpackage refuses to
# start when one is missing), the tools that build it, and its checker.
package_packages=(
  "${run_packages[@]}" libgtest-dev libxtst-dev
  dpkg-dev debhelper git lintian
)

case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  package) packages=("${package_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test|package]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ $status != "install ok installed" ]]; then missing+=("$package"); fi
done
if [[ ${#missing[@]} -eq 0 ]]; then exit 0; fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "$0: ${missing[*]} must be installed; run this as root or install sudo" >&2
    exit 1
  fi
  sudo=(sudo)
fi
# sudo clears the environment, so the setting goes on the command itself.
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
echo "Installing ${missing[*]}" >&2
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
