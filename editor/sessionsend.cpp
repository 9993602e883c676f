// The session's send: which banks go, the questions before, the worker that
// sends them, the progress and what is told at the end.

#include "editor/editorsession.h"
#include "editor/sessionstate.h"
#include "midiport/changeplan.h"
#include "model/firmware.h"

#include <algorithm>
#include <utility>

using namespace session;

namespace {

// The send gets copies, so editing, opening or resetting banks while it runs
// can never change what is on its way to the machine. The firmware
// placeholder is never among them.
SendList sendListFrom(const EditedTable& table, std::size_t first)
{
    SendList list;
    for (std::size_t position = first; position < table.size(); ++position) {
        if (table.bank(position).isFirmwarePlaceholder()) continue;
        list.positions.push_back(position);
        list.banks.push_back(table.bank(position).clone());
    }
    return list;
}

// A bank held twice would be written twice and the bank whose place it took
// not at all.
bool confirmDuplicates(CEditorSession::State& s)
{
    const auto duplicates = s.table.document().duplicates();
    return duplicates.empty() ||
           s.ask(IPrompt::Icon::Warning, "Send All Banks",
                 describeDuplicates(duplicates) + ".\nIt would be sent more than once.\nDo you want to send all banks anyway?",
                 IPrompt::Buttons::YesNo) == IPrompt::Answer::Yes;
}

// All banks, or what the last send of all banks left unsent when it ended
// part-way and the user takes up the offer; an empty list when declined.
SendList chooseAllBanks(CEditorSession::State& s)
{
    const std::string firmwareNote = s.table.bank(kFirmwareIndex).isFirmwarePlaceholder()
                                         ? "\nThe firmware bank holds no device firmware and is not sent."
                                         : "";
    // An offer that would send every bank anyway is none.
    if (SendList rest = s.resumeAt ? sendListFrom(s.table, *s.resumeAt) : SendList{};
        !rest.banks.empty() && rest.positions.front() > 0) {
        const PortPacing pacing = s.services.midi ? s.services.midi->outputPacing() : PortPacing{};
        const std::uint64_t seconds =
            (BankTransfer::plannedMs(pacing, rest.banks, static_cast<std::uint16_t>(s.channel)) + 999) / 1000;
        const auto minutes = std::max<std::uint64_t>(1, (seconds + 30) / 60);
        const std::string tag = tagOf(*rest.banks.front());
        const std::string text = "The last send of all banks ended before " + tag + " was sent completely.\nResume from " +
                                 tag + "? " + session::bankCount(rest.banks.size()) + ", about " +
                                 (minutes == 1 ? std::string("1 minute") : std::to_string(minutes) + " minutes") +
                                 "\n\nYes sends " + tag + " and the banks after it; No sends all banks." + firmwareNote;
        switch (s.ask(IPrompt::Icon::Question, "Send All Banks", text, IPrompt::Buttons::YesNoCancel)) {
        case IPrompt::Answer::Yes:
            return confirmDuplicates(s) ? std::move(rest) : SendList{};
        case IPrompt::Answer::No:
            break;
        default:
            return {};
        }
    }
    const std::string text = "The sending of all banks takes over 51 Minutes.\nDo you want to really transmit?" + firmwareNote;
    if (s.ask(IPrompt::Icon::Information, "Send All Banks", text, IPrompt::Buttons::OkCancel) != IPrompt::Answer::Ok ||
        !confirmDuplicates(s))
        return {};
    return sendListFrom(s.table, 0);
}

// Of all banks, the blocks that differ from what this computer last sent to
// the port, after the user has read the plan; an empty list when there is
// nothing to send or the user declined.
SendList chooseChanges(CEditorSession::State& s, std::vector<BlockMask>& blocks)
{
    SendList all = sendListFrom(s.table, 0);
    const std::string port = s.outputName();
    const auto channel = static_cast<std::uint16_t>(s.channel);
    const ChangePlan plan = planChanges(all.banks, channel, s.journal->port(port));
    const PortPacing pacing = s.services.midi ? s.services.midi->outputPacing() : PortPacing{};
    const std::uint64_t planned = BankTransfer::plannedMs(pacing, all.banks, channel, plan.blocks);
    std::string text = describeChanges(plan, all.banks, port, planned);
    if (!s.journal->warning().empty()) text += "\n" + s.journal->warning();
    if (plan.empty()) {
        s.ask(IPrompt::Icon::Information, "Send Changes Only", text + "\nNothing was sent.", IPrompt::Buttons::Ok);
        return {};
    }
    if (s.ask(IPrompt::Icon::Question, "Send Changes Only",
              text + "\nThe journal knows only what this computer sent; a machine changed by other means is not seen.",
              IPrompt::Buttons::OkCancel) != IPrompt::Answer::Ok)
        return {};
    SendList changed;
    for (std::size_t i = 0; i < all.banks.size(); ++i) {
        if (plan.blocks[i] == 0) continue;
        changed.positions.push_back(all.positions[i]);
        changed.banks.push_back(std::move(all.banks[i]));
        blocks.push_back(plan.blocks[i]);
    }
    return changed;
}

// "Bank 8 of 31 - 37:12 left", or what a stop is waiting for.
std::string transferText(const CEditorSession::State& s, const TransferProgress& progress)
{
    std::string text;
    if (progress.stopping == StopPoint::none)
        text = describeProgress(progress);
    else if (const auto bank = s.watch.inFlight(); bank && progress.stopping == StopPoint::afterBank)
        text = "Stopping after " + tagOf(s.transfer->bank(*bank)) + "...";
    else
        text = "Stopping...";
    if (progress.maySleep) text += kMaySleepNote;
    return text;
}

} // namespace

TransferView CEditorSession::transfer() const
{
    const State& s = *m_state;
    TransferView view;
    view.stop = state(Command::stop);
    if (s.test) {
        view.sending = true;
        view.percent = view.bankPercent = s.test->progress();
        view.bankText = "Test " + std::to_string(view.percent) + "%";
        return view;
    }
    if (!s.transfer) return view;
    const TransferProgress progress = s.transfer->progress();
    view.sending = true;
    view.percent = progress.percent;
    view.bankPercent = progress.bankPercent;
    if (progress.bankCount > 0)
        view.bankText = tagOf(s.transfer->bank(std::min(progress.bank, progress.bankCount - 1))) + " " +
                        std::to_string(progress.bankPercent) + "%";
    return view;
}

void CEditorSession::sendToDevice()
{
    State& s = *m_state;
    if (s.sending()) return;
    SendList list;
    std::vector<BlockMask> blocks;
    if (s.scope == SendScope::selected) {
        const std::vector<int> chosen = selectedBanks();
        // Only real device firmware may ever reach the machine's firmware blocks.
        if (chosen.size() == 1 && s.table.bank(static_cast<std::size_t>(chosen.front())).isFirmwarePlaceholder()) {
            s.ask(IPrompt::Icon::Information, "Send to VARNO",
                  "No firmware has been loaded into the firmware bank.\n"
                  "Open a bank file with the device firmware first; nothing was sent.",
                  IPrompt::Buttons::Ok);
            return;
        }
        for (const int position : chosen) {
            if (s.table.bank(static_cast<std::size_t>(position)).isFirmwarePlaceholder()) continue;
            list.positions.push_back(static_cast<std::size_t>(position));
            list.banks.push_back(s.table.bank(static_cast<std::size_t>(position)).clone());
        }
    } else if (s.scope == SendScope::changes) {
        list = chooseChanges(s, blocks);
    } else {
        list = chooseAllBanks(s);
    }
    if (list.banks.empty()) return;

    s.sentPositions = std::move(list.positions);
    s.sendingAll = s.scope == SendScope::all;
    s.sendPort = static_cast<std::size_t>(s.outputPort) < s.outputNames.size() ? s.outputNames[s.outputPort] : "";
    s.closeWhenSent = false;
    s.result.reset();
    s.watch.reset();
    s.finished.store(false);
    s.transfer = std::make_unique<BankTransfer>(s.services.midi, s.outputPort, static_cast<std::uint16_t>(s.channel),
                                                std::move(list.banks), s.services.inhibitor.get(), std::move(blocks));
    // Every block is recorded as it goes, so "Changes only" knows what reached the machine.
    if (s.journal) s.transfer->recordTo(s.journal.get(), s.sendPort);
    // The port opens, and waits out its pauses, on the worker: the window
    // never waits for the machine. The worker touches nothing else.
    s.worker = std::thread([&s] {
        s.result = s.transfer->run(&s.watch);
        s.finished.store(true, std::memory_order_release);
    });
    s.view.changed(ViewPart::transfer | ViewPart::commands);
    showProgress();
}

void CEditorSession::requestStop()
{
    State& s = *m_state;
    if (s.test) {
        s.test->stop();
        return;
    }
    if (!s.transfer) return;
    s.transfer->requestStop(StopPoint::afterBank);
    s.view.changed(ViewPart::transfer | ViewPart::commands);
    showProgress();
}

// Both bars and the status follow the core's one estimate of the send.
void CEditorSession::showProgress()
{
    State& s = *m_state;
    if (s.test) {
        s.setStatus("Testing the MIDI interface - " + std::to_string(s.test->progress()) + "%");
        s.view.changed(ViewPart::transfer);
        return;
    }
    if (!s.transfer) return;
    s.setStatus(transferText(s, s.transfer->progress()));
    s.view.changed(ViewPart::transfer);
}

// On the window's thread, once the worker has finished: a completed send
// leaves the status empty; a stop says what was sent; a failure, and any
// bank left erased or half written, is told in a box.
void CEditorSession::finishSend()
{
    State& s = *m_state;
    if (s.worker.joinable()) s.worker.join();
    if (!s.transfer || !s.result) return;
    const TransferResult result = *s.result;
    const std::unique_ptr<BankTransfer> transfer = std::move(s.transfer);
    if (s.sendingAll) {
        // The resumed list's own positions are not the table's.
        if (const auto resume = transfer->resumePoint(result))
            s.resumeAt = s.sentPositions[resume->position];
        else
            s.resumeAt.reset();
    }
    s.view.changed(ViewPart::transfer | ViewPart::commands);

    const std::size_t count = transfer->bankCount();
    const std::string sent = std::to_string(result.banksSent) + " of " + session::bankCount(count) + " sent";
    const bool portFailed = result.banksSent == 0 && !result.incomplete &&
                            (result.error == SendError::portNotOpen || result.error == SendError::noOutputPort ||
                             result.error == SendError::noMidiService);
    if (result.outcome == TransferOutcome::completed) {
        s.setStatus({});
    } else if (portFailed) {
        s.setStatus({});
        s.ask(IPrompt::Icon::Warning, "Send to VARNO",
              "The MIDI port \"" + s.sendPort + "\" could not be opened.\n" + result.message, IPrompt::Buttons::Ok);
    } else {
        if (result.outcome == TransferOutcome::stopped)
            s.setStatus(result.banksSent > 0 ? "Stopped after " + tagOf(transfer->bank(result.banksSent - 1)) + ": " + sent + "."
                                             : "Stopped: " + sent + ".");
        else
            s.setStatus("Failed at " + tagOf(transfer->bank(result.resumeFrom.value_or(0))) + ": " + sent + ".");
        if (result.outcome != TransferOutcome::stopped || result.incomplete) {
            std::string text = result.message;
            if (result.outcome == TransferOutcome::stopped) text = "The send was stopped.";
            if (text.empty()) text = "The send failed.";
            text += "\n" + sent + ".";
            if (result.incomplete)
                text += "\n" + tagOf(transfer->bank(*result.incomplete)) +
                        " may be left erased or half written on the machine: send it again.";
            if (s.sendingAll && s.resumeAt && *s.resumeAt > 0)
                text += "\nSend all banks again to resume from " + tagOf(*s.resumeAt) + ".";
            s.ask(IPrompt::Icon::Warning, "Send to VARNO", text, IPrompt::Buttons::Ok);
        }
    }
    if (!result.journalWarning.empty())
        s.ask(IPrompt::Icon::Warning, "Send to VARNO",
              result.journalWarning + "\nA \"Changes only\" send may not know what reached the machine.",
              IPrompt::Buttons::Ok);
    // Closing asked for during the send: now it is over, unsaved work is asked about as always.
    if (std::exchange(s.closeWhenSent, false) && requestClose()) s.view.closeWindow();
}

// What closing does while a send runs. A send ends only at a safe point:
// the session offers to stop after the bank in flight and has the window
// closed once the send has ended.
bool CEditorSession::closeDuringTransfer()
{
    State& s = *m_state;
    if (s.test) {
        // The test proves nothing half done: it stops, and the window closes after.
        s.test->stop();
        s.closeWhenSent = true;
        return false;
    }
    if (s.transfer->stopRequested() == StopPoint::none) {
        const auto inFlight = s.watch.inFlight();
        const std::string current = inFlight ? tagOf(s.transfer->bank(*inFlight)) : "the bank being sent";
        if (s.ask(IPrompt::Icon::Question, kAppName,
                  "Banks are being sent to the VARNO.\nStop after " + current +
                      " and close the window when it has been sent?",
                  IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return false;
        requestStop();
    }
    s.closeWhenSent = true;
    return false;
}

// The loopback test of the user's interface: test messages of the machine's
// sizes out of the chosen MIDI OUT, back through a cable into the chosen
// MIDI IN, compared byte by byte. They never carry the machine's header.
void CEditorSession::startInterfaceTest()
{
    State& s = *m_state;
    if (s.sending()) return;
    const std::string out = s.outputNames.at(static_cast<std::size_t>(s.outputPort));
    const std::string in = s.inputNames.at(static_cast<std::size_t>(s.inputPort));
    const PortPacing pacing = s.services.midi->outputPacing();
    const std::uint64_t seconds =
        (KtMidiInterfaceTest::plannedMs(pacing, KtMidiInterfaceTest::Length::full) + 999) / 1000;
    if (s.ask(IPrompt::Icon::Information, "MIDI Interface Test",
              "Connect the MIDI OUT of the interface (\"" + out + "\") to its own MIDI IN (\"" + in +
                  "\") with a cable.\nThe test sends the machine's message sizes and compares what comes back; it "
                  "takes about " + std::to_string(seconds) + " seconds.",
              IPrompt::Buttons::OkCancel) != IPrompt::Answer::Ok)
        return;
    s.testFinished.store(false);
    s.test = std::make_unique<KtMidiInterfaceTest>(s.services.midi, s.outputPort, s.inputPort);
    s.testWorker = std::thread([&s] {
        s.test->run();
        s.testFinished.store(true, std::memory_order_release);
    });
    s.view.changed(ViewPart::transfer | ViewPart::commands);
    showProgress();
}

void CEditorSession::finishInterfaceTest()
{
    State& s = *m_state;
    if (s.testWorker.joinable()) s.testWorker.join();
    const LoopbackReport report = s.test->result();
    s.test.reset();
    s.view.changed(ViewPart::transfer | ViewPart::commands);
    s.setStatus(report.text);
    if (std::exchange(s.closeWhenSent, false)) {
        if (requestClose()) s.view.closeWindow();
        return;
    }
    s.ask(report.verdict == LoopbackVerdict::clean ? IPrompt::Icon::Information : IPrompt::Icon::Warning,
          "MIDI Interface Test", report.text, IPrompt::Buttons::Ok);
}

void CEditorSession::forgetPort()
{
    State& s = *m_state;
    const std::string port = s.outputName();
    if (s.ask(IPrompt::Icon::Question, "Forget What Was Sent",
              "Forget what this computer sent to \"" + port + "\"?\nThe next \"Changes only\" send to it sends every bank.",
              IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
        return;
    if (s.journal->forget(port))
        s.setStatus("Forgot what was sent to " + port);
    else
        s.ask(IPrompt::Icon::Warning, "Forget What Was Sent", s.journal->warning(), IPrompt::Buttons::Ok);
}
