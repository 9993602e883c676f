#!/bin/sh
# /init of the test virtual machine. The kernel passes unknown boot
# parameters in as variables: ALSAVM_TEST (bank or unpaced), ALSAVM_BANK,
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
  *)
    say "NO TEST named '$ALSAVM_TEST'"
    ;;
esac
# Leave the UART time to drain what it still holds before the power goes.
sleep 2
dmesg | grep -i -E 'midi|overrun|u16550' | sed 's/^/ALSAVM KMSG /'
finish "$ALSAVM_TEST"
