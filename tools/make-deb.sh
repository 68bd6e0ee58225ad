#!/usr/bin/env bash
# Makes the Debian package, marigal_<version>_<arch>.deb, in the project's
# folder:  tools/make-deb.sh       then:  sudo apt install ./marigal_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
# A build of its own, installed under /usr, without the tests.
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DMARIGAL_BUILD_TESTS=OFF \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build-deb -j"$(nproc)" --target marigal marigal-card marigal_docs
(cd build-deb && cpack -G DEB >/dev/null)
mv -f build-deb/marigal_*.deb .
ls marigal_*.deb
