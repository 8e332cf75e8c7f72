#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark and run.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build ccache clang clang-format libclang-rt-14-dev pkg-config git
  # core libraries
  libgtest-dev libgmock-dev libbenchmark-dev
  liblitehtml-dev libgumbo-dev libcairo2-dev libpango1.0-dev
  libjpeg-dev libpng-dev zlib1g-dev libx11-dev libxrandr-dev libglib2.0-dev
  # sync service
  libboost-dev libsqlite3-dev libssl-dev libpq-dev postgresql openssl
  # desktop app
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins
  qt6-translations-l10n qt6-wayland
  adwaita-icon-theme fonts-dejavu-core fonts-liberation2
  # testing as a person would, peers and comparisons (sway, swaybg, grim, wtype: a headless sway
  # session, libwayland-dev for its clicks; the GNOME settings daemon's schemas, for its custom
  # shortcuts; Xephyr, for two monitors)
  xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox trayer libsm-dev python3 python3-websockets dbus
  sway swaybg grim wtype libwayland-dev gnome-settings-daemon-common xserver-xephyr
  # Debian packages: building (dpkg-shlibdeps), checking and installing them as an administrator would
  dpkg-dev file lintian desktop-file-utils appstream man-db systemd
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: done"
