#!/usr/bin/env bash
# Regenerates the reader corpus: valid/ holds files every reader must take,
# invalid/<reason>/ files that must be refused for that reason (the folder name;
# tests/corpus/corpus_tests.cpp maps it to an error kind). Audio comes from sox,
# without dither so that the bytes do not change from run to run, and is then
# cut or patched by the script below; MIDI files come from mido. Every file
# stays small: run it, check `git status`, commit what changed.
#   tests/corpus/make_corpus.sh
set -euo pipefail
cd "$(dirname "$0")"
rm -rf valid invalid
mkdir -p valid invalid
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# tone OUTPUT [FORMAT OPTIONS]: no comment, so no time stamp in AIFF files.
tone() { local out=$1; shift; sox -D -n -r 8000 "$@" --comment "" "$out" synth 0.01 sine 440; }
tone valid/pcm16-stereo.wav -b 16 -c 2
tone valid/pcm8.wav -b 8 -c 1
tone valid/pcm24-extensible.wav -b 24 -c 1
tone valid/pcm32-extensible.wav -b 32 -c 1
tone valid/pcm16.aiff -b 16 -c 1
tone valid/pcm8.aiff -b 8 -c 1
tone valid/pcm24-stereo.aiff -b 24 -c 2
tone "$tmp/pcm16.wav" -b 16 -c 1
tone "$tmp/pcm16.aiff" -b 16 -c 1
tone "$tmp/none.aifc" -b 16 -c 1 -t aifc
tone "$tmp/float.wav" -e floating-point -b 32 -c 1
tone "$tmp/alaw.wav" -e a-law -c 1
tone "$tmp/ulaw.wav" -e mu-law -c 1
tone "$tmp/msadpcm.wav" -e ms-adpcm -c 1
tone "$tmp/imaadpcm.wav" -e ima-adpcm -c 1

/usr/bin/python3 - "$tmp" <<'PY'
import os, struct, sys
import mido

tmp = sys.argv[1]

def read(name):
    with open(os.path.join(tmp, name), 'rb') as f:
        return f.read()

def write(reason, name, data):
    folder = os.path.join('invalid', reason) if reason else 'valid'
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)

# Containers as (kind, [(id, body)]) so that chunks can be dropped, cut or changed.
def split(data):
    big = data[:4] == b'FORM'
    chunks, pos = [], 12
    while pos + 8 <= len(data):
        cid = data[pos:pos + 4]
        size = struct.unpack('>I' if big else '<I', data[pos + 4:pos + 8])[0]
        chunks.append([cid, bytearray(data[pos + 8:pos + 8 + size])])
        pos += 8 + size + (size & 1)
    return data[8:12], chunks

def join(kind, chunks, big):
    body = bytearray(kind)
    for cid, data in chunks:
        body += cid + struct.pack('>I' if big else '<I', len(data)) + data
        if len(data) & 1:
            body.append(0)
    return (b'FORM' if big else b'RIFF') + struct.pack('>I' if big else '<I', len(body)) + body

def edit(name, change):
    data = read(name)
    big = data[:4] == b'FORM'
    kind, chunks = split(data)
    chunks = change(chunks) or chunks
    return join(kind, chunks, big)

def field(cid, offset, fmt, *values):
    def change(chunks):
        for chunk in chunks:
            if chunk[0] == cid:
                struct.pack_into(fmt, chunk[1], offset, *values)
    return change

def without(cid):
    return lambda chunks: [c for c in chunks if c[0] != cid]

def cut(cid, size):
    def change(chunks):
        for chunk in chunks:
            if chunk[0] == cid:
                chunk[1] = chunk[1][:size]
    return change

# Valid files that test the chunk walk: a LIST chunk first and an odd-sized
# chunk with its pad byte right before "data".
write(None, 'list-and-pad.wav', edit('pcm16.wav', lambda c: [[b'LIST', bytearray(b'INFOISFT\x01\x00\x00\x00x')]] +
                                      [x for x in c if x[0] != b'data'] + [[b'junk', bytearray(b'abc')]] +
                                      [x for x in c if x[0] == b'data']))

# Encodings and containers that are not plain PCM.
write('IEEE float', 'float32.wav', read('float.wav'))
# A float file, so that the import would try libsndfile, with a LIST chunk
# whose sub-chunks claim about 4 GB: libsndfile 1.2 loops on it for minutes.
list_past_end = bytes.fromhex('4c4953540dffffffffffffffffffffffff3401000000000000ffffffffffffffffffffffefffffff')
kind, chunks = split(read('float.wav'))
fmt = [c for c in chunks if c[0] == b'fmt ']
head = join(kind, fmt, False)
write('IEEE float', 'float-list-past-end.wav',
      b'RIFF' + struct.pack('<I', len(head) - 8 + len(list_past_end)) + head[8:] + list_past_end)
write('A-law', 'alaw.wav', read('alaw.wav'))
write('mu-law', 'ulaw.wav', read('ulaw.wav'))
write('compressed WAV', 'ms-adpcm.wav', read('msadpcm.wav'))
write('compressed WAV', 'ima-adpcm.wav', read('imaadpcm.wav'))
def float_extensible(chunks):
    for chunk in chunks:
        if chunk[0] == b'fmt ':
            body = chunk[1][:16]
            struct.pack_into('<H', body, 0, 0xFFFE)
            # Extension: size, valid bits, channel mask, then the float sub-format.
            body += struct.pack('<HHI', 22, 16, 4) + bytes([3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
            chunk[1] = body
write('extensible not PCM', 'extensible-float.wav', edit('pcm16.wav', float_extensible))
write('AIFF-C', 'none.aifc', read('none.aifc'))
def ulaw(chunks):
    for chunk in chunks:
        if chunk[0] == b'COMM':
            chunk[1][18:22] = b'ulaw'
write('AIFF-C', 'ulaw.aifc', edit('none.aifc', ulaw))
aiff = read('pcm16.aiff')
write('other IFF form', '8svx.iff', aiff[:8] + b'8SVX' + aiff[12:])

# Broken headers.
write('no fmt chunk', 'no-fmt.wav', edit('pcm16.wav', without(b'fmt ')))
write('truncated fmt chunk', 'fmt-14.wav', edit('pcm16.wav', cut(b'fmt ', 14)))
write('no COMM chunk', 'no-comm.aiff', edit('pcm16.aiff', without(b'COMM')))
write('truncated COMM chunk', 'comm-16.aiff', edit('pcm16.aiff', cut(b'COMM', 16)))
write('no channels', 'channels-0.wav', edit('pcm16.wav', field(b'fmt ', 2, '<H', 0)))
write('no channels', 'channels-0.aiff', edit('pcm16.aiff', field(b'COMM', 0, '>H', 0)))
write('bit depth 0 or above 32', 'bits-0.wav', edit('pcm16.wav', field(b'fmt ', 14, '<H', 0)))
write('bit depth 0 or above 32', 'bits-40.wav', edit('pcm16.wav', field(b'fmt ', 14, '<H', 40)))
write('bit depth 0 or above 32', 'bits-0.aiff', edit('pcm16.aiff', field(b'COMM', 6, '>H', 0)))
write('unusable sample rate', 'rate-0.wav', edit('pcm16.wav', field(b'fmt ', 4, '<I', 0)))
write('unusable sample rate', 'rate-nan.aiff', edit('pcm16.aiff', field(b'COMM', 8, '>HQ', 0x7FFF, 0xC000000000000000)))
write('no data chunk', 'no-data.wav', edit('pcm16.wav', without(b'data')))
write('no SSND chunk', 'no-ssnd.aiff', edit('pcm16.aiff', without(b'SSND')))
write('no samples', 'empty-data.wav', edit('pcm16.wav', cut(b'data', 0)))
write('no samples', 'offset-past-data.aiff', edit('pcm16.aiff', field(b'SSND', 0, '>I', 1000)))

# Standard MIDI Files as the reader takes them: meta events first, then
# channel and System Exclusive events (no two alike in a row, since the
# writer never uses running status), then end of track.
def track(name, notes):
    t = mido.MidiTrack()
    t.append(mido.MetaMessage('track_name', name=name, time=0))
    t.append(mido.MetaMessage('instrument_name', name='VARNO 414', time=0))
    t.append(mido.Message('sysex', data=[0x31, 0x0D, 0x79, 0x08], time=96))
    for n in range(notes):
        t.append(mido.Message('note_on', note=60 + n, velocity=100, time=24))
        t.append(mido.Message('note_off', note=60 + n, velocity=0, time=24))
    return t

def midi(tracks, kind=None):
    f = mido.MidiFile(type=kind if kind is not None else (1 if len(tracks) > 1 else 0), ticks_per_beat=24)
    f.tracks.extend(tracks)
    path = os.path.join(tmp, 'm.mid')
    f.save(path)
    return bytearray(read('m.mid'))

one = midi([track('S05', 3)])
write(None, 'one-track.mid', one)
write(None, 'two-tracks.mid', midi([track('S01', 2), track('S02', 1)]))

# The events of the one-track file start after the 14-byte header and the
# 8-byte track header.
events = 22
write('no MThd', 'riff-header.mid', b'RIFF' + one[4:])
write('no MThd', 'cut-header.mid', one[:10])
division0 = bytearray(one)
division0[12:14] = b'\x00\x00'
write('division 0', 'division-0.mid', division0)
more = bytearray(one)
more[10:12] = b'\x00\x02'
write('no MTrk', 'second-track-missing.mid', more)
write('no MTrk', 'track-tag.mid', one[:14] + b'MTRK' + one[18:])
write('track longer than the file', 'cut.mid', one[:-4])
sysex = bytearray(one[:events]) + bytes([0x00, 0xF0, 0x05, 0x31, 0x0D, 0x79, 0x08, 0x00, 0x00, 0x00])
struct.pack_into('>I', sysex, 18, len(sysex) - events)
write('sysex without F7', 'no-f7.mid', sysex)
past = bytearray(one[:events]) + bytes([0x00, 0xF0, 0x40, 0x31, 0xF7])
struct.pack_into('>I', past, 18, len(past) - events)
write('event past the end', 'sysex-length.mid', past)
meta = bytearray(one[:events]) + bytes([0x00, 0xFF, 0x03, 0x20, ord('S')])
struct.pack_into('>I', meta, 18, len(meta) - events)
write('event past the end', 'meta-length.mid', meta)
write('no end of track', 'no-end.mid', one[:-4] + bytes(4))

# Readable Standard MIDI Files that are no bank file of the right shape.
write('wrong track count', 'two-tracks.mid', midi([track('S01', 1), track('S02', 1)]))
PY
