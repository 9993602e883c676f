#!/usr/bin/env bash
# Small seed inputs for the fuzz targets, made with sox and mido; nothing large is committed.
set -euo pipefail
out=$1
mkdir -p "$out"/{fuzz_message_load,fuzz_audio_reader,fuzz_slot_import,fuzz_midifile_reader,fuzz_bank_open}
audio="$out/fuzz_audio_reader"
if command -v sox >/dev/null; then
  sox -n -r 44100 -b 16 -c 2 "$audio/s16.wav" synth 0.002 sine 440
  sox -n -r 22050 -b 8 -c 1 "$audio/u8.wav" synth 0.002 sine 440
  sox -n -r 48000 -b 24 -c 1 "$audio/s24.wav" synth 0.002 sine 440
  sox -n -r 44100 -b 16 -c 1 "$audio/s16.aiff" synth 0.002 sine 440
  sox -n -r 8000 -b 8 -c 1 "$audio/s8.aiff" synth 0.002 sine 440
  sox -n -r 44100 -b 16 -c 1 -t aifc "$audio/c.aifc" synth 0.002 sine 440
  cp "$audio"/* "$out/fuzz_slot_import/"
fi
/usr/bin/python3 - "$out" <<'PY'
import sys, mido
out = sys.argv[1]
def bank_file(path, tracks):
    f = mido.MidiFile(type=1 if tracks > 1 else 0, ticks_per_beat=24)
    for t in range(tracks):
        tr = mido.MidiTrack()
        tr.append(mido.MetaMessage('track_name', name='S05', time=0))
        tr.append(mido.MetaMessage('instrument_name', name='VARNO 414', time=0))
        tr.append(mido.MetaMessage('sequencer_specific', data=[0x31, 0, 0x59, 0] + list(b'CLAP\0RIDE\0'), time=0))
        tr.append(mido.Message('sysex', data=[0x31, 0x0D, 0x79, 0x08], time=96))
        tr.append(mido.Message('sysex', data=[0x31, 0x48, 0x38, 0x20] + [1, 0x7F] * 8, time=289))
        tr.append(mido.Message('sysex', data=[0x31, 0x0D, 0x79, 0x09], time=2161))
        tr.append(mido.Message('sysex', data=[0x31, 0x49, 0x38, 0x20] + [0, 0x10] * 8, time=289))
        f.tracks.append(tr)
    f.save(path)
bank_file(out + '/fuzz_bank_open/one.mid', 1)
bank_file(out + '/fuzz_bank_open/two.mid', 2)
bank_file(out + '/fuzz_midifile_reader/one.mid', 1)
bank_file(out + '/fuzz_message_load/one.mid', 1)
PY
