#!/usr/bin/python3
"""Boots the test machine under qemu, plays the MIDI cable on its second
serial port and checks what the guest sent through it.

The host end of the cable drains the serial pipe at exactly 3125 bytes per
second, the speed of a real MIDI cable; qemu's emulated UART does not
throttle by itself, so without this a sender that is too fast would go
unnoticed.

In the interface scenario the host end is a loopback cable instead: every
byte read is sent back at once, so the guest's MIDI IN gets what its MIDI
OUT sent at the cable's rate. While the guest says "PHASE drop" the host
drops every 255th byte, which the tool's interface test must find.
"""
import argparse
import fcntl
import os
import subprocess
import sys
import threading
import time

CABLE_RATE = 3125.0  # bytes per second
TICK = 0.004
# Catch-up allowed after the host was late (15 ms of cable time): a reader
# that fell behind would throttle the UART and be blamed on the sender.
BURST = 48
F_SETPIPE_SZ = 1031


def strip_part_selects(chunks):
    """Removes the serial MIDI driver's part selects (F5 01). The program
    never sends F5 (undefined, and no data byte), so an F5 01 pair comes from
    the driver; any other F5 stays and fails the check."""
    flat = [(t, b) for t, data in chunks for b in data]
    kept = []
    selects = 0
    i = 0
    while i < len(flat):
        if flat[i][1] == 0xF5 and i + 1 < len(flat) and flat[i + 1][1] == 0x01:
            selects += 1
            i += 2
            continue
        kept.append(flat[i])
        i += 1
    out = []
    for t, b in kept:
        if out and out[-1][0] == t:
            out[-1][1].append(b)
        else:
            out.append((t, bytearray([b])))
    return [(t, bytes(d)) for t, d in out], selects


DROP_EVERY = 255


class Echo:
    """The loopback cable's far end: the driver's part selects (F5 01) are
    left out, as a real interface never sends them, and in the drop phase
    every DROP_EVERY-th byte is lost."""

    def __init__(self, fd):
        self.fd = fd
        self.pending = bytearray()
        self.held_f5 = False
        self.count = 0
        self.dropped = 0
        self.dropping = False

    def phase(self, dropping):
        self.dropping = dropping
        self.count = 0

    def take(self, data):
        for b in data:
            if self.held_f5:
                self.held_f5 = False
                if b == 0x01:
                    continue
                self.keep(0xF5)
            if b == 0xF5:
                self.held_f5 = True
                continue
            self.keep(b)
        self.flush()

    def keep(self, b):
        self.count += 1
        if self.dropping and self.count % DROP_EVERY == 0:
            self.dropped += 1
            return
        self.pending.append(b)

    def flush(self):
        while self.pending:
            try:
                n = os.write(self.fd, self.pending)
            except BlockingIOError:
                return
            del self.pending[:n]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", choices=["bank", "unpaced", "interface"], required=True)
    ap.add_argument("--kernel", required=True)
    ap.add_argument("--initrd", required=True)
    ap.add_argument("--guest", required=True, help="the guest program built for the host")
    ap.add_argument("--work", required=True)
    ap.add_argument("--bank", type=int, default=0)
    ap.add_argument("--channel", type=int, default=0)
    ap.add_argument("--how", default="", help="passed to the guest sender (raw: its own sender)")
    ap.add_argument("--timeout", type=float, default=330)
    args = ap.parse_args()

    os.makedirs(args.work, exist_ok=True)
    tag = args.mode
    fifo = os.path.join(args.work, tag + "-cable")
    for end in (".in", ".out"):
        if os.path.exists(fifo + end):
            os.unlink(fifo + end)
        os.mkfifo(fifo + end)
    expected_index = os.path.join(args.work, tag + "-expected.txt")
    expected_bytes = os.path.join(args.work, tag + "-expected.bin")
    received_path = os.path.join(args.work, tag + "-received.txt")
    console_path = os.path.join(args.work, tag + "-console.log")
    if args.mode != "interface":
        subprocess.run([args.guest, "expect", str(args.bank), str(args.channel), expected_index, expected_bytes],
                       check=True)

    # Open our end first so that the pipe exists at its small size before
    # anything is written: a large pipe would act as a buffer the real cable
    # does not have.
    cable = os.open(fifo + ".out", os.O_RDONLY | os.O_NONBLOCK)
    fcntl.fcntl(cable, F_SETPIPE_SZ, 4096)
    # Read and write: opening the writing end alone would wait for qemu.
    echo = None
    if args.mode == "interface":
        back = os.open(fifo + ".in", os.O_RDWR | os.O_NONBLOCK)
        fcntl.fcntl(back, F_SETPIPE_SZ, 4096)
        echo = Echo(back)

    # oops=panic: a kernel fault ends the run at once instead of at the timeout.
    append = ["console=ttyS0", "panic=-1", "oops=panic", "quiet", "8250.nr_uarts=1", "pnpacpi=off",
              "ALSAVM_TEST=" + args.mode, "ALSAVM_BANK=%d" % args.bank, "ALSAVM_CHANNEL=%d" % args.channel]
    if args.how:
        append.append("ALSAVM_HOW=" + args.how)
    cmd = ["qemu-system-x86_64", "-accel", "tcg", "-smp", "2", "-m", "512", "-nographic", "-no-reboot",
           "-kernel", args.kernel, "-initrd", args.initrd, "-append", " ".join(append),
           "-serial", "mon:stdio", "-serial", "pipe:" + fifo]
    started = time.monotonic()
    qemu = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    lines = []

    def console():
        with open(console_path, "wb") as log:
            for raw in qemu.stdout:
                log.write(raw)
                log.flush()
                text = raw.decode("utf-8", "replace").rstrip("\r\n")
                # The first line may follow the firmware's terminal resets.
                at = text.find("ALSAVM ")
                if at >= 0:
                    lines.append(text[at + 7:])
                    if echo and text[at + 7:].startswith("PHASE "):
                        echo.phase(text[at + 7:] == "PHASE drop")
                    print("guest: " + text[at + 7:], flush=True)

    reader = threading.Thread(target=console, daemon=True)
    reader.start()

    chunks = []  # (seconds since start, bytes)
    credit = 0.0
    last = time.monotonic()
    timed_out = False
    while True:
        now = time.monotonic()
        credit = min(BURST, credit + (now - last) * CABLE_RATE)
        last = now
        running = qemu.poll() is None
        if running and now - started > args.timeout:
            qemu.kill()
            timed_out = True
        if credit >= 1:
            try:
                data = os.read(cable, int(credit))
            except BlockingIOError:
                data = b""
            if data:
                credit -= len(data)
                chunks.append((now - started, data))
                if echo:
                    echo.take(data)
            elif not running:
                break  # qemu is gone and the pipe is empty
        time.sleep(TICK)
    os.close(cable)
    if echo:
        os.close(echo.fd)
    reader.join(timeout=5)
    wall = time.monotonic() - started

    chunks, selects = strip_part_selects(chunks)
    with open(received_path, "w") as out:
        for t, data in chunks:
            if data:
                out.write("%.6f %s\n" % (t, data.hex()))
    total = sum(len(d) for _, d in chunks)
    print("removed %d part selects (F5 01) of the serial MIDI driver" % selects)
    print("wall time %.1f s, cable bytes received %d%s" % (wall, total, " (TIMED OUT)" if timed_out else ""))
    if chunks and chunks[-1][0] > chunks[0][0]:
        print("cable pace over the whole run %.0f bytes/s" % (total / (chunks[-1][0] - chunks[0][0])))

    failures = []
    if args.mode == "interface":
        return interface_verdict(lines, timed_out, echo, args.timeout, console_path)
    own_sender = any(l.startswith("SENDER raw") for l in lines)
    if timed_out:
        failures.append("the machine did not power off within %.0f s" % args.timeout)
    if not any(l.startswith("DONE") for l in lines):
        failures.append("the guest never reported DONE (see %s)" % console_path)
    if not any(l.startswith("SENT ok") for l in lines):
        failures.append("the guest's cable send did not report success")

    check = [args.guest, "check", expected_index, expected_bytes, received_path, "20"]
    if args.mode == "unpaced":
        check.append("--expect-loss")
    verdict = subprocess.run(check, capture_output=True, text=True)
    print("cable: " + verdict.stdout.strip() + verdict.stderr.strip())
    if verdict.returncode != 0:
        failures.append("the cable check failed" if args.mode == "bank"
                        else "an unpaced send lost nothing: the cable check cannot tell a fault")

    if args.mode == "bank":
        if not any(l.startswith("PLAY PASS") for l in lines):
            failures.append("the slot played through the loopback card did not come back intact")
        if not any(l.startswith("VIRMIDI PASS") for l in lines):
            failures.append("the virtual MIDI path did not pass")
        if not own_sender and not any(l.startswith("CHANGED PASS") for l in lines):
            failures.append("the changed block did not reach the virtual port intact")
        if own_sender:
            wanted = ["SEQPORT %d:0 Virtual Raw MIDI 0-%d / VirMIDI 0-%d" % (16 + n, n, n) for n in range(4)]
        else:
            # The names the editor's port list shows for the kernel's ports.
            wanted = ["OUTPORT Virtual Raw MIDI 0-%d:VirMIDI 0-%d" % (n, n) for n in range(4)]
            wanted += ["OUTPORT Serial MIDI (UART16550A):Serial MIDI 1"]
            wanted += ["INPORT Virtual Raw MIDI 0-%d:VirMIDI 0-%d" % (n, n) for n in range(4)]
            if not any(l.startswith("FIRMWARE refused") for l in lines):
                failures.append("the firmware placeholder was not refused")
        for name in wanted:
            if name not in lines:
                failures.append("port enumeration lacks '%s'" % name)

    if own_sender:
        print("NOTE: the guest used its own sequencer sender, not the program's backend")
    for f in failures:
        print("FAIL: " + f)
    print("RESULT %s %s" % (args.mode, "FAIL" if failures else "PASS"))
    return 1 if failures else 0


def interface_verdict(lines, timed_out, echo, timeout, console_path):
    """The tool's own verdicts: clean over the plain loopback, the loss and
    its interval found when the host dropped bytes."""
    failures = []
    print("host dropped %d bytes in the drop phase" % echo.dropped)
    if timed_out:
        failures.append("the machine did not power off within %.0f s" % timeout)
    if not any(l.startswith("DONE") for l in lines):
        failures.append("the guest never reported DONE (see %s)" % console_path)
    runs = {l.split()[1]: l for l in lines if l.startswith("INTERFACE ") and " rc=" in l}
    clean, drop = runs.get("clean", ""), runs.get("drop", "")
    if " rc=0 " not in clean + " " or "correctly" not in clean:
        failures.append("the clean loopback was not found clean: '%s'" % clean)
    if echo.dropped == 0:
        failures.append("the host dropped nothing: the drop run proves nothing")
    elif " rc=1 " not in drop or "every %dth" % DROP_EVERY not in drop:
        failures.append("the dropped bytes were not found and named: '%s'" % drop)
    for f in failures:
        print("FAIL: " + f)
    print("RESULT interface %s" % ("FAIL" if failures else "PASS"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
