#!/usr/bin/env bash
# Installs the Debian packages the build, the program, the tests and the package need.
set -euo pipefail
packages=(
  g++ cmake make ccache
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libqt6sql6-sqlite qt6-tools-dev qt6-tools-dev-tools
  qt6-image-formats-plugins qt6-translations-l10n libgl-dev qt6-charts-dev libqt6opengl6-dev
  libroaring-dev
  libzint-dev libzxing-dev poppler-utils
  libzstd-dev libxxhash-dev libsqlite3-dev pkg-config
  libqt6sql6-psql postgresql postgresql-contrib
  fonts-wqy-microhei
  librsvg2-bin
  xvfb xauth
  desktop-file-utils
  dpkg-dev file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
