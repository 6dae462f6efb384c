#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Ostrel needs.
# Idempotent: does nothing when everything is present. Needs root or sudo for apt-get.
set -euo pipefail

PACKAGES=(
  # toolchain
  cmake ninja-build g++ make pkg-config
  # `make fuzz`: clang with libFuzzer and the sanitizer runtimes
  clang
  # Qt 6: core, network, D-Bus, widgets, SVG, tests, HTTP server and SQLite for the dev service
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite libgl-dev libvulkan-dev
  # secret storage, QR codes, TOML
  libsecret-1-dev libqrcodegencpp-dev libtomlplusplus-dev
  # a QR decoder, so the tests read the drawn QR codes back
  libzbar-dev
  # a real Secret Service and session bus for the keyring tests
  gnome-keyring libsecret-tools dbus dbus-bin dbus-daemon dbus-x11
  # fonts for the screenshots, a bare X server for `make run` without a desktop
  fonts-dejavu-core xvfb xauth at-spi2-core
  # the journey tests drive the application through the accessibility bus
  python3-pyatspi gir1.2-atspi-2.0 libatk-bridge2.0-0
  # registers the ostrel:// scheme handler on `make install`
  desktop-file-utils
  # process tools used by tests and scripts
  procps psmisc curl python3
  # `make package` (dpkg-shlibdeps) and the package test: lintian, AppStream validation, xdg-mime
  dpkg-dev lintian appstream xdg-utils
  # the checkout in a real browser (large: chromium is about 250 MB installed), driven over its
  # DevTools protocol from python
  chromium python3-websocket
  # real desktop hosts for the tray and notification tests: xfce4-panel (StatusNotifierItem
  # watcher and host), trayer (XEmbed tray), dunst (notification daemon), xdotool and xwininfo
  xfce4-panel trayer dunst xdotool x11-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
