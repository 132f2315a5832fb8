#!/usr/bin/env bash
# Configures and builds the given variants under build/<variant>:
#   native  core and tests for Linux
#   asan    the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   win32   the 32-bit Windows program and its tests (what ships), built by
#           the win32 thread-model compilers
#   win32-core  the core tests as 32-bit Windows code, built by the posix
#           thread-model compilers (GoogleTest needs std::mutex)
#   win64   the same sources for 64-bit Windows
set -euo pipefail
source "$(dirname "$0")/lib.sh"
for v in "$@"; do
  case "$v" in
    native) args=(-DCMAKE_EXPORT_COMPILE_COMMANDS=ON) ;;
    asan) args=(-DLUKANEMI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
    win32) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
    win32-core) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-posix.cmake"
                      -DLUKANEMI_PROGRAM=OFF -DLUKANEMI_MEASURE=OFF) ;;
    win64) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
    *) echo "build.sh: unknown variant $v" >&2; exit 2 ;;
  esac
  build_in "$root/build/$v" "" "${args[@]}"
done
