#!/usr/bin/env bash
# Builds the Debian package into build-package/ (lanlan_<version>_<arch>.deb), for the
# prefix /usr. Install it with: sudo apt-get install ./build-package/lanlan_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DLANLAN_BUILD_TESTS=OFF -DLANLAN_BUILD_BENCH=OFF >/dev/null
cmake --build build-package -j"$(nproc)"
rm -f build-package/lanlan_*.deb
(cd build-package && cpack -G DEB)
ls build-package/lanlan_*.deb
