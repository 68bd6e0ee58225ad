#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the program and its
# tests need and this machine lacks. Asks apt only when something is missing.
set -euo pipefail

need=(cmake g++ make pkg-config
      qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
      googletest libgtest-dev
      libreoffice-dev
      libpoppler-qt6-dev libqpdf-dev
      libjpeg62-turbo-dev libturbojpeg0-dev libheif-dev libpng-dev qt6-image-formats-plugins
      libopencv-objdetect-dev opencv-data
      fonts-dancingscript fonts-kaushanscript fonts-lobster fonts-ebgaramond fonts-lato fonts-quicksand
      fonts-symbola fonts-noto-cjk fonts-dejavu-core
      g++-mingw-w64-x86-64
      fonts-liberation
      dpkg-dev lintian desktop-file-utils appstream
      xvfb xdotool
      dbus-daemon at-spi2-core
      procps binutils poppler-utils
      libcups2-dev cups cups-client cups-filters)
# Only the Windows backend's test runs Wine, and only console programs: its
# recommended sound, graphics and font packages would double the download.
plain=(wine wine64)

# The office: an installed full LibreOffice is used as it is; otherwise the
# packages without a desktop interface, which are all a headless office needs.
if dpkg-query -W -f='${Status}' libreoffice-core 2>/dev/null | grep -q 'ok installed'; then
  need+=(libreoffice-writer libreoffice-draw libreoffice-calc)
else
  need+=(libreoffice-writer-nogui libreoffice-draw-nogui libreoffice-calc-nogui)
fi

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
  done
}
mapfile -t missing < <(missing "${need[@]}")
mapfile -t missing_plain < <(missing "${plain[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_plain[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]} ${missing_plain[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
[ ${#missing[@]} -eq 0 ] || $sudo apt-get install -y -qq "${missing[@]}"
[ ${#missing_plain[@]} -eq 0 ] || $sudo apt-get install -y -qq --no-install-recommends "${missing_plain[@]}"
