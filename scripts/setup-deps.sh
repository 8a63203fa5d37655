#!/bin/sh
# Installs the Debian 12 packages Vantoria needs to build, test and run (only those missing).
set -e
PKGS="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 \
libtiff-dev libpng-dev zlib1g-dev libsqlite3-dev libgeographiclib-dev libgtest-dev libgmock-dev libbenchmark-dev libcups2-dev libgl-dev \
fonts-ipafont-gothic qt6-translations-l10n xvfb xauth clang libclang-rt-14-dev ccache \
poppler-utils cups cups-bsd cups-client cups-filters qt6-charts-dev libqt6opengl6-dev \
desktop-file-utils shared-mime-info libglib2.0-bin librsvg2-bin dpkg-dev groff-base file libgeotiff-dev gdal-bin python3-pil libjpeg-dev"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
