#!/usr/bin/env bash
# Configures and builds both widths: build/x86_64 (tested) and build/i686 (shipped).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for arch in x86_64 i686; do
    cmake --no-warn-unused-cli -S "$root" -B "$root/build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" >/dev/null
    cmake --build "$root/build/$arch" -j "$(nproc)"
done
