#!/usr/bin/env bash
# Installs the Debian 12 packages Rastiv needs to build, run and test, when
# they are missing.  Idempotent, and quiet when everything is present.
# Runs apt-get as root, or through sudo for other users.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # barcodes and 2D codes on receipts, and receipts written as PNG row by row
  libzint-dev zlib1g-dev
  # TIFF and WebP pictures (PNG, JPEG and GIF come with Qt itself)
  qt6-image-formats-plugins
  libgtest-dev libgmock-dev googletest
  # fuzzing (libFuzzer with the sanitizers)
  clang-14 libclang-rt-14-dev
  # desktop smoke tests: a virtual X server and the accessibility bus
  xvfb xauth dbus-x11 dbus-bin at-spi2-core python3-pyatspi
  # where the main window lands under a window manager
  twm xfonts-base x11-utils
  # the installation test validates the desktop entry and the AppStream file
  desktop-file-utils appstream
  # the CUPS driver, and the test that prints through a private scheduler
  libcups2-dev libcupsimage2-dev cups-ppdc cups cups-client cups-bsd cups-filters
  # rastiv-printer, the driverless printer application (PAPPL 1.3), and ipptool
  # for the IPP Everywhere checks against it
  libpappl-dev cups-ipp-utils
  # its web page, tested in headless chromium through WebDriver
  chromium chromium-driver python3-selenium
  # its test prints a JPEG and reads back the pixels the printer was given, with the libjpeg PAPPL uses
  libjpeg-turbo-progs
  # the Debian package the installation test builds: CPack computes its
  # dependencies with dpkg-shlibdeps, which needs file(1) to tell binaries
  file dpkg-dev
)
if [ "${RASTIV_SETUP_BENCH:-0}" = 1 ]; then
  packages+=(imagemagick)
fi
# scripts/render-icons.sh, after the icon's SVG changes
if [ "${RASTIV_SETUP_ICONS:-0}" = 1 ]; then
  packages+=(librsvg2-bin)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup: these packages are missing and sudo is not available: ${missing[*]}" >&2
  echo "setup: install them as root: apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
