#!/usr/bin/env bash
# Installs what is missing, builds VarnKit for use and starts it from its build tree, where it
# keeps its kits beside itself. At its first start VarnKit registers its Midi module for this
# user and makes a starter kit of nine synthesised drums. Arguments go to VarnKit (--help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNKIT_BENCH=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target VarnKit Midi
exec build-release/app/VarnKit "$@"
