#!/usr/bin/env python3
"""The test kit, as an LV2 preset bundle that names it, and the check of a session's export.

  kit_audio.py bundle <dir.lv2>               writes the bundle, the kit inside it
  kit_audio.py check <export.wav> <dir.lv2> <frame:note:velocity>...
"""
import struct
import sys
import wave
from pathlib import Path

RATE = 44100
KIT = "Test"
PRESET = "Test kit"
# Pad 1 (note 36) has a soft and a hard layer, pad 2 (note 38) one: each sample a decaying
# square of its own height and period, so that a hit played early, late, at another level or
# from another layer or pad cannot come out as the one expected.
PADS = {36: [("soft.wav", 0, 79, 0.5, 25), ("hard.wav", 80, 127, 0.8, 40)],
        38: [("snare.wav", 0, 127, 0.6, 60)]}
LENGTH = 2000


def write_sample(path, height, period):
    frames = [height * (1 - k / LENGTH) * (1 if (k // period) % 2 == 0 else -1)
              for k in range(LENGTH)]
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack(f"<{LENGTH}h", *(round(v * 32767) for v in frames)))


def bundle(dir):
    kit = dir / "kit"
    (kit / KIT).mkdir(parents=True)
    records = []
    for pad, (note, layers) in enumerate(PADS.items(), start=1):
        for name, low, high, height, period in layers:
            write_sample(kit / KIT / name, height, period)
            records.append(f"{pad},0,0,\t{note},Pad{pad},\t{name},{low},{high},0,0,0,0,0,0,\r\r\n")
    (kit / f"{KIT}.txt").write_bytes(
        (f"vst samples,\r\r\n{KIT},\r\r\n{KIT},\r\r\nVarnKit,\r\r\n\r\r\n" + "".join(records) +
         "-1 by Ned's VarnKit\r\n").encode())
    prefixes = ("@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n")
    (dir / "manifest.ttl").write_text(
        prefixes + "<preset.ttl> a pset:Preset ;\n"
        "  lv2:appliesTo <https://varnkit.org/lv2/varnkit> ;\n  rdfs:seeAlso <preset.ttl> .\n")
    (dir / "preset.ttl").write_text(
        prefixes + f'<> a pset:Preset ;\n  lv2:appliesTo <https://varnkit.org/lv2/varnkit> ;\n'
        f'  rdfs:label "{PRESET}" ;\n'
        f"  state:state [ <https://varnkit.org/lv2/varnkit#kit> <kit/{KIT}.txt> ] .\n")


def read_wav(path):
    """(rate, channels) of a 16-bit or float WAV, channels as lists of floats."""
    data = Path(path).read_bytes()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit(f"{path} is no WAV file")
    at, fmt = 12, None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        body = data[at + 8:at + 8 + size]
        if chunk == b"fmt ":
            tag, channels, rate = struct.unpack_from("<HHI", body)
            bits = struct.unpack_from("<H", body, 14)[0]
            if tag == 0xFFFE:
                tag = struct.unpack_from("<H", body, 24)[0]
            fmt = (tag, channels, rate, bits)
        elif chunk == b"data" and fmt:
            tag, channels, rate, bits = fmt
            if (tag, bits) == (3, 32):
                values = struct.unpack(f"<{size // 4}f", body)
            elif (tag, bits) == (1, 16):
                values = [v / 32767 for v in struct.unpack(f"<{size // 2}h", body)]
            else:
                raise SystemExit(f"{path}: format {tag} with {bits} bits is not read here")
            return rate, [values[c::channels] for c in range(channels)]
        at += 8 + size + (size & 1)
    raise SystemExit(f"{path} has no audio")


def gain(velocity):
    # The level law: -40 dB at velocity 0 rising evenly in dB to full level at 127.
    return 10 ** (-2 * (127 - velocity) / 127)


def check(export, dir, hits):
    rate, channels = read_wav(export)
    if rate != RATE or len(channels) != 2:
        raise SystemExit(f"{export}: {len(channels)} channels at {rate} Hz, not stereo at {RATE}")
    frames = len(channels[0])
    expected = [0.0] * frames
    for frame, note, velocity in hits:
        name = next(n for n, low, high, *_ in PADS[note] if low <= velocity <= high)
        sample = read_wav(dir / "kit" / KIT / name)[1][0]
        for k, v in enumerate(sample):
            if frame + k < frames:
                expected[frame + k] += gain(velocity) * v
    failures = []
    for c, side in enumerate(("left", "right")):
        got = channels[c]
        # 1/100 dB, the law's rounding, with room for the 16-bit samples.
        wrong = [i for i in range(frames) if abs(got[i] - expected[i]) > 2e-3 * abs(expected[i]) + 1e-6]
        if wrong:
            failures.append(f"{side}: {len(wrong)} frames differ, first at {wrong[0]}: "
                            f"{got[wrong[0]]:.6f} where {expected[wrong[0]]:.6f} was expected")
    if failures:
        for frame, note, velocity in hits:  # where each hit did start, and how loud
            window = channels[0][max(0, frame - 4000):frame + 4000]
            onset = next((i for i, v in enumerate(window) if abs(v) > 1e-6), None)
            if onset is None:
                failures.append(f"hit {frame}:{note}:{velocity}: nothing within 4000 frames")
            else:
                at = max(0, frame - 4000) + onset
                failures.append(f"hit {frame}:{note}:{velocity}: starts at {at} "
                                f"({at - frame:+d}), first value {channels[0][at]:.6f}")
        raise SystemExit(f"{export}:\n  " + "\n  ".join(failures))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "bundle":
        bundle(Path(sys.argv[2]))
    elif len(sys.argv) >= 5 and sys.argv[1] == "check":
        check(sys.argv[2], Path(sys.argv[3]),
              [tuple(int(x) for x in hit.split(":")) for hit in sys.argv[4:]])
    else:
        raise SystemExit(__doc__)
