#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in an optimised build, once
# with AddressSanitizer and UndefinedBehaviorSanitizer; the MIDI input's closing while
# messages arrive also runs under ThreadSanitizer. The jack-labelled tests get a private
# JACK server with the dummy back-end. Exit status: the tests'.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/deps.sh --tests || { echo "installing dependencies failed" >&2; exit 1; }

build() {  # build <dir> <cmake args...> [--target <name>]
  local dir=$1; shift
  local target=()
  if [ "${@: -2:1}" = "--target" ]; then target=(--target "${@: -1}"); set -- "${@:1:$#-2}"; fi
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs" "${target[@]}"
}
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1
build build-asan -DCMAKE_BUILD_TYPE=Debug -DVARNKIT_SANITIZE=ON -DVARNKIT_BENCH=OFF || exit 1

export JACK_DEFAULT_SERVER="varnkit-test-$$"
export JACK_NO_START_SERVER=1
export QT_QPA_PLATFORM=offscreen
jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 44100 -p 256 >build/jackd.log 2>&1 &
jack_pid=$!
trap 'kill "$jack_pid" 2>/dev/null; wait "$jack_pid" 2>/dev/null' EXIT
if ! timeout 30 jack_wait -w >/dev/null; then
  echo "the JACK server did not start:" >&2
  cat build/jackd.log >&2
  exit 1
fi

# The dummy JACK server runs without real-time scheduling: on a busy machine it loses
# cycles (its log shows the xruns), and a MIDI message in a lost cycle is gone. A test that
# fails gets one more run; one that fails twice fails the whole.
status=0
for dir in build build-asan; do
  echo "== tests in $dir =="
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --repeat until-pass:2 || status=1
done

# Under ThreadSanitizer: the MIDI input's closing while messages arrive, and kits changed
# while the engine decides notes on its own. Only those are built and run: the other MIDI
# tests count every message, and ThreadSanitizer slows JACK's threads enough to lose cycles.
echo "== under ThreadSanitizer =="
if build build-tsan -DCMAKE_BUILD_TYPE=Debug -DVARNKIT_TSAN=ON -DVARNKIT_BENCH=OFF \
    --target midi_jack_tests && cmake --build build-tsan -j "$jobs" --target sound_unit_tests engine_unit_tests; then
  ctest --test-dir build-tsan --output-on-failure -R 'MidiJack\.ClosingWhile|LiveHit\.|^Engine\.' || status=1
else
  status=1
fi

# The kit file loader, the SFZ reader and the MIDI file reader under libFuzzer, for a short
# while, where clang is there to build them.
# fuzz <what> <target> <seconds> <seed file name> <seed, as a printf format>
fuzz() {
  local corpus=build-fuzz/$2-corpus log=build-fuzz/$2.log
  echo "== $1 fuzzing =="
  if CXX=clang++ build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNKIT_FUZZ=ON \
      -DVARNKIT_BENCH=OFF --target "$2"; then
    mkdir -p "$corpus"
    # shellcheck disable=SC2059 # the seed is written by its escapes
    printf "$5" >"$corpus/$4"
    "build-fuzz/tests/fuzz/$2" -max_total_time="$3" "$corpus" >"$log" 2>&1 ||
      { tail -40 "$log"; status=1; }
    tail -1 "$log"
  else
    status=1
  fi
}
if command -v clang++ >/dev/null; then
  fuzz "kit file" kit_file_fuzzer 15 seed.txt \
    'vst samples,\r\r\nR,\r\r\nR,\r\r\nVarnKit,\r\r\n\r\r\n1,0,0,\t36,Kick,\ta.wav,0,79,0,0,0,0,1,1,\r\r\n2,0,0,\t36,Sn,\tb.wav,0,79,0,0,0,0,2,1,\r\r\n-1\r\n'
  fuzz SFZ sfz_fuzzer 10 seed.sfz \
    '<control> default_path=S\\\n#define $K 36\n<global> volume=-3\n<group> group=1 off_by=2 group_label=Hat\n<region> sample=a b.wav key=$K hivel=64\n<region> sample=c.wav lokey=c4 hikey=e4 pitch_keycenter=d4 /* x */ // y\n#include "1.sfz"\n\0<group> group=2\n<region> sample=d.wav key=f#2 ampeg_attack=1\n#include "1.sfz"\n'
  # Two tracks: a tempo change, running status, a velocity-0 note-on, system exclusive, a
  # program change, a controller and a pitch bend among the notes.
  fuzz "MIDI file" midi_file_fuzzer 10 seed.mid \
    'MThd\x00\x00\x00\x06\x00\x01\x00\x02\x01\xe0MTrk\x00\x00\x00\x13\x00\xff\x51\x03\x07\xa1\x20\x83\x60\xff\x51\x03\x0a\x2c\x2b\x00\xff\x2f\x00MTrk\x00\x00\x00\x22\x00\x99\x24\x7f\x60\x2a\x00\x83\x60\xf0\x03\x7e\x7f\xf7\x00\xc9\x05\x00\xb9\x07\x64\x00\xe9\x00\x40\x81\x40\x99\x26\x50\x00\xff\x2f\x00'
fi
exit $status
