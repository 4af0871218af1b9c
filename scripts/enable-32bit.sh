#!/usr/bin/env bash
# Lets this machine run 32-bit Linux programs, which the 32-bit Wine loader
# is. Kernels booted without ia32 emulation refuse them ("Exec format error");
# there the loader runs under qemu-user, registered with binfmt_misc. Bookworm's
# qemu 7.2 needs about a minute per Wine process (no MAP_FIXED_NOREPLACE), so
# the backports build is used. Idempotent; run as root. The registration is
# lost at reboot, so the test script calls this every time.
set -euo pipefail

native_ok() { /lib/ld-linux.so.2 --help >/dev/null 2>&1; }
if native_ok; then
    exit 0
fi
if [ ! -e /lib/ld-linux.so.2 ]; then
    echo "enable-32bit: the i386 loader is missing (install wine32:i386 first)" >&2
    exit 1
fi

qemu=/usr/bin/qemu-i386
if ! [ -x "$qemu" ] || ! "$qemu" --version 2>/dev/null | grep -qE 'version (9|[1-9][0-9])\.'; then
    src=/etc/apt/sources.list.d/bookworm-backports.sources
    if ! [ -f "$src" ]; then
        cat >"$src" <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    fi
    export DEBIAN_FRONTEND=noninteractive
    # Only the backports index matters here: an index that fails elsewhere
    # (a mirror mid-sync) must not stop us; the install says if this one did.
    apt-get update -qq || echo "enable-32bit: apt-get update reported errors; going on" >&2
    if ! apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static; then
        echo "enable-32bit: qemu-user-static could not be installed from bookworm-backports" >&2
        exit 1
    fi
fi
[ -x "$qemu" ] || qemu=$(command -v qemu-i386-static)

binfmt=/proc/sys/fs/binfmt_misc
if ! [ -f "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if ! [ -f "$binfmt/qemu-i386" ]; then
    # ELF32, i386, executable or shared object; F: qemu is opened now, so it also works in other mount namespaces.
    printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:FP" \
        >"$binfmt/register"
fi
if ! native_ok; then
    echo "enable-32bit: 32-bit programs still cannot run" >&2
    exit 1
fi
echo "enable-32bit: 32-bit programs run through $qemu"
