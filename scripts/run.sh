#!/usr/bin/env bash
# Installs what is missing, builds VarnKit for use, registers the Midi module for this user,
# gives a new installation a kit to play, and starts VarnKit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNKIT_BENCH=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target VarnKit varnkit-starter-kit \
  $(grep -q 'varnkit-regsvr' tools/CMakeLists.txt && echo varnkit-regsvr Midi)

program=build-release/app
if [ -x build-release/tools/varnkit-regsvr ]; then
  build-release/tools/varnkit-regsvr -s "$PWD/build-release/midi/Midi.ocx"
fi
if [ ! -f "$program/default.txt" ]; then
  build-release/tools/varnkit-starter-kit "$program"
fi
exec "$program/VarnKit" "$@"
