"""Reads and writes bank files with mido, as another program would.

  mido_bankfile.py dump FILE      one line per file, track and message
  mido_bankfile.py write OUT SPEC writes a file from a spec of lines:
      track NAMEHEX | names HEX... ('-' for an empty name) | sysex PATH |
      channel HEX (a channel message's bytes)
"""
import sys

import mido


def fnv(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


def dump(path):
    f = mido.MidiFile(path)
    print("type %d ticks %d tracks %d" % (f.type, f.ticks_per_beat, len(f.tracks)))
    for track in f.tracks:
        print("track")
        for msg in track:
            raw = bytes(msg.bytes())
            if msg.type == "sysex":
                print("%d sysex %d %08x" % (msg.time, len(raw), fnv(raw)))
            else:
                print("%d %s %s" % (msg.time, msg.type, raw.hex()))


def unhex(text):
    return b"" if text == "-" else bytes.fromhex(text)


def write(out, spec):
    f = mido.MidiFile(type=1, ticks_per_beat=24)
    track = None
    for line in open(spec):
        words = line.split()
        if not words:
            continue
        if words[0] == "track":
            track = mido.MidiTrack()
            f.tracks.append(track)
            name = unhex(words[1]).decode("latin1")
            # Extra meta events another program may add.
            track.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
            track.append(mido.MetaMessage("track_name", name=name, time=0))
            track.append(mido.MetaMessage("text", text="made elsewhere", time=0))
            track.append(mido.MetaMessage("instrument_name", name="Orvel VARNO 414", time=0))
        elif words[0] == "names":
            data = b"\x31\x00\x59\x00" + b"".join(unhex(w) + b"\x00" for w in words[1:])
            track.append(mido.MetaMessage("sequencer_specific", data=tuple(data), time=0))
        elif words[0] == "sysex":
            raw = open(words[1], "rb").read()
            assert raw[0] == 0xF0 and raw[-1] == 0xF7
            track.append(mido.Message("sysex", data=tuple(raw[1:-1]), time=144))
        elif words[0] == "channel":
            track.append(mido.Message.from_bytes(bytes.fromhex(words[1]), time=0))
    for t in f.tracks:
        t.append(mido.MetaMessage("end_of_track", time=10))
    if len(f.tracks) == 1:
        f.type = 0
    f.save(out)


if __name__ == "__main__":
    if sys.argv[1] == "dump":
        dump(sys.argv[2])
    elif sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    else:
        sys.exit("unknown command")
