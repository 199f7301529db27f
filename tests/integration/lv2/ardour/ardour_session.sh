#!/usr/bin/env bash
# ardour_session.sh <folder holding varnkit.lv2>: VarnKit in Ardour's headless Lua session
# tool. A preset gives the plugin a test kit, and a Lua processor before it plays hits at set
# frames; the export must hold each hit's samples from that exact frame at its velocity's
# level. The session is saved and opened again in a new process with the preset out of reach:
# its export must be the same, the kit back from the session's state alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lv2=$(cd "$1" && pwd)
command -v ardour7-lua >/dev/null || { echo "ardour7-lua is not installed; skipped"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$(basename "$0"): $*" >&2; exit 1; }

# Ardour reads its settings, scripts and export presets from here, and no user's.
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_CACHE_HOME=$tmp/cache XDG_DATA_HOME=$tmp/data
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_CONFIG_HOME/ardour7/export"
cp "$here/hits.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
# The preset picks the float WAV format Ardour ships ("BWAV 32float Export"): no dither,
# no normalising, no trimming.
cp "$here/export.preset" "$XDG_CONFIG_HOME/ardour7/export/"
presets=$tmp/presets/varnkit-test.lv2
python3 "$here/kit_audio.py" bundle "$presets"

# Mid-block frames, each pad and each layer of pad 1; 3 s, past the last sample's end.
hits=(22050:36:127 44400:38:100 88207:36:64)
frames=132300

# Now and then Ardour 7.3 dies of a double free as its export ends, in a session with no
# plugin as well: a run that dies before session.lua has told how it went gets two more.
ardour() {  # ardour <LV2_PATH> <session.lua arguments...>
  local path=$1 attempt status log=$tmp/$2.log
  shift
  for attempt in 1 2 3; do
    rm -rf "$3"
    if [ "$1" = new ]; then rm -rf "$2"; fi
    status=0
    LV2_PATH=$path timeout 30 ardour7-lua "$here/session.lua" "$@" >"$log" 2>&1 || status=$?
    grep -qx "session.lua: done" "$log" && return
    cat "$log" >&2
    [ "$status" -ne 124 ] || fail "ardour7-lua $1 took over 30 s"
    ! grep -q "^session.lua failed: " "$log" || fail "ardour7-lua $1 failed"
    echo "ardour7-lua $1 died (attempt $attempt)" >&2
  done
  fail "ardour7-lua $1 died three times"
}
# The log of the run that exported says what the plugin told Ardour, a kit it could not load.
check() {  # check <session.lua mode> <export dir>
  python3 "$here/kit_audio.py" check "$2/hits.wav" "$presets" "${hits[@]}" ||
    { cat "$tmp/$1.log" >&2; fail "the export after session.lua $1 is wrong"; }
}
ardour "$tmp/presets:$lv2" new "$tmp/session" "$tmp/first" "$frames" "${hits[@]}"
check new "$tmp/first"
ardour "$lv2" reopen "$tmp/session" "$tmp/again" "$frames"
check reopen "$tmp/again"
