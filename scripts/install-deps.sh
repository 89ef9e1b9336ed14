#!/usr/bin/env bash
# Installs the Debian 12 packages the program and its tests need; installs nothing that is already there.
# Usage: scripts/install-deps.sh [run|test|pdf]  (pdf: only the printing system and its PDF printer driver)
set -eu
mode=${1:-test}
pkgs="cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-liberation fontconfig libxlsxwriter-dev zlib1g-dev xdg-utils"
if [ "$mode" = pdf ]; then
  pkgs="cups cups-client printer-driver-cups-pdf poppler-utils"
elif [ "$mode" = test ]; then
  pkgs="$pkgs libgtest-dev libgmock-dev libbenchmark-dev python3 python3-dbf python3-dbfread gdal-bin pgdbf time python3-openpyxl poppler-utils"
fi
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends $missing
fi
