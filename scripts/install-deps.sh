#!/usr/bin/env bash
# Installs everything Rain needs to build, run and test on Debian 12.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  # the program: window, events, timer, message box
  libsdl2-dev
  # window description parsing; PNG output of the frame tool
  nlohmann-json3-dev libpng-dev
  # tests and benchmarks
  libgtest-dev libbenchmark-dev valgrind
  # tests of the real window: virtual X server, fonts for SDL's message box,
  # Xlib and XTest to inspect and drive the window, a small window manager,
  # and an X protocol tracer that reads back the error box's text
  xvfb xfonts-base libx11-dev libxtst-dev openbox xtrace
  # checks of the installed desktop entry and AppStream metadata
  desktop-file-utils appstream
)

sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
