#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent; run as root.
set -euo pipefail

packages=(
  cmake g++ make git clang-format
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  libwine-dev wine wine64 wine32:i386
  xvfb xauth x11-utils imagemagick fonts-wine
  googletest python3
  nsis wixl msitools spin graphviz
)

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: must run as root (apt-get)" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
here=$(cd "$(dirname "$0")" && pwd)
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exec "$here/enable-32bit.sh"
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"

# The posix thread model is what std::thread needs; make it the default alternative.
for t in x86_64-w64-mingw32 i686-w64-mingw32; do
  for tool in gcc g++; do
    if [ -x "/usr/bin/$t-$tool-posix" ]; then
      update-alternatives --set "$t-$tool" "/usr/bin/$t-$tool-posix" >/dev/null 2>&1 || true
    fi
  done
done
echo "install-deps: done"
exec "$here/enable-32bit.sh"
