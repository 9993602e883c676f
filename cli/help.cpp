#include "cli/commands.h"

#include <iostream>

namespace cli {

const char* helpText(const std::string& command)
{
    if (command == "ports")
        return "usage: varno414 ports\n"
               "\n"
               "Lists the MIDI output ports, one a line: the index to give to\n"
               "'send --port' and the port's name; then the input ports, whose index\n"
               "'test-interface --in' takes.\n";
    if (command == "test-interface")
        return "usage: varno414 test-interface --port N --in M [--quick]\n"
               "\n"
               "Tests a MIDI interface whose MIDI OUT is connected to its own MIDI IN\n"
               "with a cable: sends test messages of the machine's sizes (6 bytes and a\n"
               "131,078-byte block), paced as a bank send paces them, reads them back and\n"
               "compares. The messages carry the non-commercial manufacturer ID 0x7D, so\n"
               "no machine acts on them. Prints the bytes sent and received, the first\n"
               "difference, the bytes dropped and changed, the rate and a verdict.\n"
               "It cannot test the machine's own MIDI input. Ctrl-C stops after the\n"
               "message being sent. Exits with 0 when every byte came back, 1 when bytes\n"
               "were lost or changed or nothing came back, 2 on a wrong command line,\n"
               "130 when stopped.\n"
               "\n"
               "  --port N   the output port's index (see 'varno414 ports')\n"
               "  --in M     the input port's index (see 'varno414 ports')\n"
               "  --quick    a 4,096-byte message instead of a whole block (seconds, not\n"
               "             45 s); only the full test shows whether banks can be sent\n";
    if (command == "new")
        return "usage: varno414 new FILE.mid [--bank BANK | --all] [--force]\n"
               "\n"
               "Writes a bank file with factory content: one bank (--bank S01 to S31,\n"
               "or FIRMWARE) or all 32 banks (--all, the default).\n"
               "\n"
               "  --bank BANK   only this bank\n"
               "  --all         all 31 sound banks and the firmware bank\n"
               "  --force       replace FILE.mid if it exists, even when it is read-only\n";
    if (command == "show")
        return "usage: varno414 show FILE.mid [--json]\n"
               "\n"
               "Lists each bank of the file with its number and name, and each\n"
               "content's number, label, name and size in bytes.\n"
               "\n"
               "  --json        print the same as JSON, for scripts; sample slots also\n"
               "                give \"seconds\" (up to the last sound) and \"capacity_seconds\"\n";
    if (command == "import")
        return "usage: varno414 import FILE.mid [--bank BANK] --slot SLOT AUDIO [--start SECONDS]\n"
               "                [--end SECONDS] [--gain DB | --normalize[=PEAK_DB]] [--reverse]\n"
               "                [--fade-in SECONDS] [--fade-out SECONDS] [--dc]\n"
               "                [--quality classic|clean] [--dither] [--name NAME] [--force]\n"
               "       varno414 import FILE.mid [--bank BANK] --kit FOLDER [the options above]\n"
               "\n"
               "Fills one slot from an audio file, converted to 33000 Hz mono 8-bit: WAV\n"
               "and AIFF, and where the build can decode them also float WAV, AIFF-C,\n"
               "FLAC, Ogg, MP3, W64 and CAF. Any other file is taken as raw sample bytes.\n"
               "What the import did goes to standard error, for example\n"
               "\"clap.wav: 0.74 s of 2.50 s used (cut to fit the slot)\".\n"
               "The slot is named after the audio file unless --name is given.\n"
               "Names hold Latin-1 characters; a file name's others become '?'.\n"
               "\n"
               "  --bank BANK      S01 to S31 or FIRMWARE; needed when the file holds several banks\n"
               "  --slot SLOT      a label (\"OPEN HI HAT\", closed-hi-hat, clap, ...) or 1 to 6\n"
               "  --start SECONDS  start this far into the audio file (such as 1.25)\n"
               "  --end SECONDS    end there in the audio file (the file's end if not given)\n"
               "  --gain DB        louder or softer by this many decibels (such as -3)\n"
               "  --normalize[=PEAK_DB]\n"
               "                   bring the loudest sample to PEAK_DB dBFS, 0 (full scale) if not given\n"
               "  --reverse        the chosen part backwards\n"
               "  --fade-in SECONDS\n"
               "                   rise from silence over this long\n"
               "  --fade-out SECONDS\n"
               "                   fall to silence over this long before what the slot keeps ends\n"
               "  --dc             remove a DC offset and what drifts slower than about 10 Hz\n"
               "  --quality classic|clean\n"
               "                   classic (the default) is the machine's own conversion; clean\n"
               "                   filters out what 33000 Hz cannot hold and rounds\n"
               "  --dither         with --quality clean: add triangular dither before rounding\n"
               "  --name NAME      the slot's new name\n"
               "  --kit FOLDER     fill every slot from the folder's audio files: by name first\n"
               "                   (open/oh, closed/ch/hh, clap, rim, crash, ride), then in\n"
               "                   name order; one save, nothing saved if any file fails\n"
               "  --force          save even when FILE.mid is read-only\n";
    if (command == "rename")
        return "usage: varno414 rename FILE.mid [--bank BANK] [--slot SLOT] [--force] NEW_NAME\n"
               "\n"
               "Renames a bank, or with --slot one of its slots. Names hold Latin-1\n"
               "characters only (a bank file stores no others).\n"
               "\n"
               "  --bank BANK   S01 to S31 or FIRMWARE; needed when the file holds several banks\n"
               "  --slot SLOT   a label (\"OPEN HI HAT\", closed-hi-hat, clap, ...) or 1 to 6\n"
               "  --force       save even when FILE.mid is read-only\n";
    if (command == "export")
        return "usage: varno414 export FILE.mid [--bank BANK] --slot SLOT OUT.wav [--force]\n"
               "       varno414 export FILE.mid [--bank BANK] --all DIR [--force]\n"
               "\n"
               "Writes a slot as a 33000 Hz mono 8-bit PCM WAV file, or with --all every\n"
               "slot into DIR (named like S05_3_CLAP.wav). Existing files are replaced,\n"
               "read-only ones only with --force.\n"
               "\n"
               "  --bank BANK   S01 to S31; needed with --slot when the file holds several banks\n"
               "  --slot SLOT   a label (\"OPEN HI HAT\", closed-hi-hat, clap, ...) or 1 to 6\n"
               "  --all DIR     every slot (of the bank, or of every sound bank of the file)\n"
               "  --force       replace read-only WAV files too\n";
    if (command == "send")
        return "usage: varno414 send FILE.mid --port N [--channel 1-16] [--bank BANK,... | --from BANK]\n"
               "                [--changed] [--forget] [--no-firmware] [--quiet] [--dry-run] [--force]\n"
               "       varno414 send --forget --port N\n"
               "\n"
               "Sends the banks of the file to the machine, paced as the machine needs\n"
               "(a little under two minutes a bank). Each bank sent is printed as\n"
               "\"sent S05 (NAME)\"; on a terminal the bank, its progress and the time\n"
               "left are shown on one line of standard error, otherwise a line a bank.\n"
               "A firmware bank that holds no device firmware is left out.\n"
               "\n"
               "Every send records, per port and flash block, what it erased and wrote\n"
               "completely. --changed sends only the blocks that differ from that record:\n"
               "it knows only what this computer sent, not what reached the machine\n"
               "by other means.\n"
               "\n"
               "Ctrl-C (or SIGTERM) finishes the bank being sent, then stops; a second\n"
               "Ctrl-C stops after the message being sent and names the bank that is\n"
               "left incomplete. After a stop or a failure the command that sends the\n"
               "rest is printed. Exits with 0 when every bank was sent, 130 when\n"
               "stopped, 1 on a failure.\n"
               "\n"
               "  --port N       the output port's index (see 'varno414 ports')\n"
               "  --channel C    the machine's receive channel, 1 to 16 (default 1)\n"
               "  --bank BANK    only these banks of the file (S03,S07,S12), in index order\n"
               "  --changed      only the blocks that differ from what was last sent to the port\n"
               "  --forget       first forget what was sent to the port, so all counts as changed\n"
               "  --from BANK    start with this bank and send the ones after it\n"
               "  --no-firmware  leave out the firmware bank\n"
               "  --quiet        show no progress\n"
               "  --dry-run      print the messages, sizes, pauses and time; send nothing\n"
               "  --force        send all banks even when the file holds a bank twice\n";
    return "usage: varno414 COMMAND [ARGS...]\n"
           "\n"
           "Works on bank files (.mid) for the VARNO 414 drum machine.\n"
           "\n"
           "Commands:\n"
           "  ports    list the MIDI output and input ports\n"
           "  new      write a bank file with factory content\n"
           "  show     list the banks and slots of a bank file\n"
           "  import   fill a slot from an audio file\n"
           "  rename   rename a bank or a slot\n"
           "  export   write slots as WAV files\n"
           "  send     send the banks of a file to the machine\n"
           "  test-interface  test a MIDI interface through a cable from its OUT to its IN\n"
           "\n"
           "Banks are S01 to S31 and FIRMWARE. Slots are named by their labels\n"
           "(\"OPEN HI HAT\", CLOSED-HI-HAT, clap, RIM SHOT, CRASH, RIDE) or numbers 1 to 6.\n"
           "'varno414 COMMAND --help' tells more; 'varno414 --version' prints the version.\n";
}

int fail(const std::string& sentence)
{
    std::cerr << "varno414: " << sentence << '\n';
    return kExitFailed;
}

int usage(const std::string& command, const std::string& sentence)
{
    std::cerr << "varno414";
    if (!command.empty()) std::cerr << ' ' << command;
    std::cerr << ": " << sentence << "\n(see 'varno414 " << (command.empty() ? "" : command + " ") << "--help')\n";
    return kExitUsage;
}

} // namespace cli
