#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent; run as root.
set -euo pipefail

packages=(
  cmake g++ make git clang-format
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  libwine-dev wine wine64 wine32:i386
  xvfb xauth x11-utils imagemagick fonts-wine
  googletest python3
  nsis wixl msitools osslsigncode openssl spin graphviz libxml2-utils
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
# A mirror in the middle of a sync serves an index whose size does not match
# its Release file ("Mirror sync in progress?"): apt-get update then fails
# although the other indexes were read. Such a window usually closes within
# minutes, so try again a few times; then install anyway, since the packages
# may not need that index, and only fail when they do.
tries=${VTX_APT_TRIES:-4} pause=${VTX_APT_PAUSE:-30}
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
updated=no
for ((try = 1; try <= tries; try++)); do
  if apt-get update -qq 2>"$update_log" && ! grep -q '^E:' "$update_log"; then
    updated=yes
    break
  fi
  cat "$update_log" >&2
  if ((try < tries)); then
    echo "install-deps: apt-get update failed (try $try of $tries); trying again in ${pause}s" >&2
    sleep "$pause"
  fi
done
# "E: Failed to fetch <url>  <reason>": the index is the URL.
failed_indexes() {
  sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$update_log" | sort -u
}
if [ "$updated" = no ]; then
  echo "install-deps: going on without these package indexes: $(failed_indexes | tr '\n' ' ')" >&2
fi
# Without the update index of the foreign (i386) architecture, apt offers the
# i386 half of a Multi-Arch: same library only at its release version, while
# the amd64 half stays at its update: the halves must match, so the resolver
# gives up. Fall back to the release versions, which both halves have: prefer
# the release suite, and move each library the resolver names to the version
# its i386 half has (a downgrade when the amd64 half came from an update).
# Each round pins what apt's last complaint named; it stops when nothing new
# is named.
install_from_release() {
  local codename pins=() out round name have want new
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  for ((round = 1; round <= 8; round++)); do
    if out=$(apt-get install -s -t "$codename" --no-install-recommends --allow-downgrades \
      "${missing[@]}" "${pins[@]}" 2>&1); then
      echo "install-deps: installing from the $codename release suite;" \
        "libraries moved to match their i386 half: ${pins[*]:-none}" >&2
      apt-get install -y -qq -t "$codename" --no-install-recommends --allow-downgrades \
        "${missing[@]}" "${pins[@]}"
      return
    fi
    new=0
    for name in $(grep -o '[a-z0-9][a-z0-9.+-]*:i386' <<<"$out" | sed 's/:i386$//' | sort -u); do
      have=$(dpkg-query -W -f='${Version}' "$name:amd64" 2>/dev/null) || continue
      want=$(apt-cache policy "$name:i386" | sed -n 's/^  Candidate: //p')
      [ -n "$want" ] && [ "$want" != "(none)" ] && [ "$want" != "$have" ] || continue
      [[ " ${pins[*]} " != *" $name:i386=$want "* ]] || continue
      apt-cache show "$name:amd64=$want" >/dev/null 2>&1 || continue
      pins+=("$name:amd64=$want" "$name:i386=$want")
      new=1
    done
    if ((new == 0)); then
      echo "$out" >&2
      return 1
    fi
  done
  return 1
}
installed=yes
apt-get install -y -qq --no-install-recommends "${missing[@]}" || installed=no
if [ "$installed" = no ] && [ "$updated" = no ] && failed_indexes | grep -q '/binary-i386/'; then
  echo "install-deps: retrying without the missing i386 update index" >&2
  install_from_release && installed=yes
fi
if [ "$installed" = no ]; then
  if [ "$updated" = no ]; then
    {
      echo "install-deps: the packages could not be installed, and apt-get update failed $tries times for:"
      failed_indexes | sed 's/^/  /'
      [ -n "$(failed_indexes)" ] || sed 's/^/  /' "$update_log"
      echo "install-deps: the mirror is probably in the middle of a sync; try again later."
    } >&2
  fi
  exit 1
fi
rm -f "$update_log"

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
