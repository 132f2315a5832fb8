#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# is missing, and lets this machine run 32-bit Linux programs (Wine's 32-bit
# loader) where the kernel cannot.
set -euo pipefail

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
pkgs=(cmake make g++ libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
      g++-mingw-w64-i686-win32  # the shipped program: no thread runtime, runs on XP
      g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix  # GoogleTest needs std::mutex
      wine wine32:i386 wine64 qemu-user-static xvfb xauth x11-utils x11-apps xdotool
      imagemagick fonts-ipafont-gothic python3 python3-numpy gnuplot-nox
      fonts-wine)  # Wine's own fonts: Marlett draws the caption buttons
need=()
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Some kernels have 32-bit execution switched off; Wine's 32-bit loader then
# runs through qemu's user-mode emulator, registered with binfmt_misc.
probe=$(mktemp)
python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0x31, 0xdb, 0xcd, 0x80])  # exit(0)
base = 0x08048000; entry = base + 84
e = b'\x7fELF' + bytes([1, 1, 1, 0]) + bytes(8)
e += struct.pack('<HHIIIIIHHHHHH', 2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
e += struct.pack('<IIIIIIII', 1, 0, base, base, 84 + len(code), 84 + len(code), 5, 0x1000)
open(sys.argv[1], 'wb').write(e + code)
PY
chmod +x "$probe"
if ! "$probe" 2>/dev/null; then
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/lukanemi-i386 ]; then
    echo ':lukanemi-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  "$probe" || { echo "setup: cannot run 32-bit programs" >&2; rm -f "$probe"; exit 1; }
  echo "setup: 32-bit programs run through qemu-i386"
fi
rm -f "$probe"
