#!/usr/bin/env bash
# Checks what a screen reader sees of Lanlan: under Xvfb, on a private session bus with the
# accessibility bus, runs scripts/a11y_check.py against build/bin (or the folder given).
# Not part of the tests; run it after scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bin_dir="${1:-build/bin}"
if [ "${A11Y_INNER:-}" != 1 ]; then
  missing=()
  for p in xvfb xauth dbus at-spi2-core python3-pyatspi imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
  export A11Y_INNER=1
  # -noreset: the bus launcher's short X connection must not make the server reset
  # just as the program connects.
  exec xvfb-run -a -s "-screen 0 1600x1000x24 -noreset" dbus-run-session -- "$0" "$bin_dir"
fi
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
trap 'kill "$launcher" 2>/dev/null || true' EXIT
sleep 1
/usr/bin/python3 scripts/a11y_check.py "$bin_dir"
