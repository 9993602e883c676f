#!/bin/sh
# /init of the test virtual machine. The kernel passes unknown boot
# parameters in as variables: ALSAVM_TEST (bank, unpaced or interface), ALSAVM_BANK,
# ALSAVM_CHANNEL, ALSAVM_HOW (empty: the program's own backend; raw: the
# guest's bare sequencer sender).
export PATH=/bin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp

say() { echo "ALSAVM $*"; }
finish() { say "DONE $1"; sync; poweroff -f; }

# Load order comes from modules.dep (see the image builder). The virtual
# card comes first so that it is card 0 (hw:0,0 behind sequencer client 16).
while read -r module args; do
  insmod "$module" $args || say "MODULE FAIL $module"
done < /etc/alsavm-modules
say "KERNEL $(uname -r)"
grep -h . /proc/asound/cards | sed 's/^/ALSAVM CARD /'

/bin/alsavm_guest ports
bank=${ALSAVM_BANK:-0}
channel=${ALSAVM_CHANNEL:-0}
# Output ports by the names the editor lists: the virtual port, read back
# here, and the serial card's port, the MIDI cable to the host.
virtual="Virtual Raw MIDI 0-0:VirMIDI 0-0"
cable="Serial MIDI (UART16550A):Serial MIDI 1"
case "$ALSAVM_TEST" in
  bank)
    # The program's audio output first: a slot played into the loopback card.
    ALSA_CARD=Loopback /bin/alsavm_guest play
    # Both paths at once: the virtual one is checked here, the cable by the host.
    /bin/alsavm_guest virmidi hw:0,0 "$virtual" "$bank" "$channel" $ALSAVM_HOW &
    virmidi=$!
    /bin/alsavm_guest send "$cable" "$bank" "$channel" $ALSAVM_HOW
    wait $virmidi
    # Changes only: one changed block, read back from the virtual port.
    [ "$ALSAVM_HOW" = raw ] || /bin/alsavm_guest changed hw:0,0 "$virtual" "$bank" "$channel"
    ;;
  unpaced)
    /bin/alsavm_guest send "$cable" "$bank" "$channel" unpaced
    ;;
  interface)
    # varno414 test-interface over the cable, which the host sends back: once
    # clean (the full test), once with every 255th byte dropped by the host.
    ports=$(/bin/varno414 ports 2>&1)
    echo "$ports" | sed 's/^/ALSAVM TOOLPORTS /'
    out=$(echo "$ports" | awk -v name="$cable" '/^input ports:/ { exit } index($0, ": " name) { sub(":.*", ""); print; exit }')
    in=$(echo "$ports" | awk -v name="$cable" 'seen && index($0, ": " name) { sub(":.*", ""); print; exit } /^input ports:/ { seen = 1 }')
    say "INTERFACE ports out=$out in=$in"
    for run in clean drop; do
      say "PHASE $run"
      # The host reads the phase from the console before the first byte.
      sleep 1
      length=
      [ "$run" = drop ] && length=--quick
      /bin/varno414 test-interface --port "$out" --in "$in" $length > /tmp/verdict 2>&1
      rc=$?
      sed 's/^/ALSAVM TOOL /' /tmp/verdict
      say "INTERFACE $run rc=$rc $(tail -n 1 /tmp/verdict)"
    done
    ;;
  *)
    say "NO TEST named '$ALSAVM_TEST'"
    ;;
esac
# Leave the UART time to drain what it still holds before the power goes.
sleep 2
dmesg | grep -i -E 'midi|overrun|u16550' | sed 's/^/ALSAVM KMSG /'
finish "$ALSAVM_TEST"
