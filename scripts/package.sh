#!/usr/bin/env bash
# Installs what is missing, builds what Sondrel's install holds (the default preset, in
# build/) and makes its Debian package there; prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --package --target sondrel_install_files >&2
(cd build && cpack -G DEB) >&2
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/CPackConfig.cmake)
deb="build/sondrel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "$deb was not made" >&2; exit 1; }
echo "$deb"
