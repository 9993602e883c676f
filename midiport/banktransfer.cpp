#include "midiport/banktransfer.h"

#include "midiport/sha256.h"
#include "model/messagekind.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kInhibitReason = "Sending banks to the VARNO 414";

// Planned end of the port's opening, then of each bank.
std::vector<std::uint64_t> plannedEnds(const PortPacing& pacing, std::span<const std::unique_ptr<IBank>> banks,
                                       std::uint16_t channel, std::span<const BlockMask> blocks)
{
    std::vector<std::uint64_t> ends{KtMidiInterfaceTransmitter::openingMs()};
    for (std::size_t i = 0; i < banks.size(); ++i)
        ends.push_back(ends.back() + WrapperKtMidiInterface::bankMs(pacing, banks[i]->buildEvents(channel),
                                                                   i < blocks.size() ? blocks[i] : kWholeBank));
    return ends;
}

int percentOf(std::uint64_t part, std::uint64_t whole)
{
    return whole == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(99, part * 100 / whole));
}

} // namespace

ITransferObserver::~ITransferObserver() = default;

BankTransfer::BankTransfer(std::shared_ptr<IMidiSystem> system, int outputPort, std::uint16_t channel,
                           std::vector<std::unique_ptr<IBank>> banks, ISleepInhibitor* inhibitor,
                           std::vector<BlockMask> blocks)
    : m_system(std::move(system)),
      m_channel(channel),
      m_banks(std::move(banks)),
      m_blocks(std::move(blocks)),
      m_inhibitor(inhibitor),
      m_session(-1, outputPort, m_system, WrapperKtMidiInterface::Opening::later)
{
    m_blocks.resize(m_banks.size(), kWholeBank);
    m_plannedMs = plannedEnds(m_system ? m_system->outputPacing() : PortPacing{}, m_banks, channel, m_blocks);
    m_session.setObserver(this);
}

void BankTransfer::recordTo(SendJournal* journal, std::string portName)
{
    m_journal = journal;
    m_portName = std::move(portName);
}

// The journal is told before an erase goes out and after a write has gone,
// so a stop, a failure or a crash leaves exactly what reached the machine.
void BankTransfer::messageStarting(const CEvent& event)
{
    const MessageClass kind = classifyMessage(event.getMessageData());
    if (!kind.isErase()) return;
    m_erasedBlock = kind.block;
    if (m_journal != nullptr && !m_journal->recordErasing(m_portName, kind.block, m_system->clock().now()))
        noteJournal();
}

void BankTransfer::messageSent(const CEvent& event)
{
    if (classifyMessage(event.getMessageData()).isErase() || !m_erasedBlock) return;
    const unsigned block = *m_erasedBlock;
    m_erasedBlock.reset();
    if (m_journal != nullptr &&
        !m_journal->recordWritten(m_portName, block, sha256Hex(event.getMessageData()), m_system->clock().now()))
        noteJournal();
}

void BankTransfer::noteJournal()
{
    if (m_journalWarning.empty()) m_journalWarning = m_journal->warning();
}

BankTransfer::~BankTransfer() = default;

std::uint64_t BankTransfer::plannedMs(const PortPacing& pacing, std::span<const std::unique_ptr<IBank>> banks,
                                      std::uint16_t channel, std::span<const BlockMask> blocks)
{
    return plannedEnds(pacing, banks, channel, blocks).back();
}

void BankTransfer::requestStop(StopPoint point)
{
    int current = m_stop.load(std::memory_order_acquire);
    while (current < static_cast<int>(point) &&
           !m_stop.compare_exchange_weak(current, static_cast<int>(point), std::memory_order_acq_rel)) {
    }
    if (point == StopPoint::afterMessage) m_session.stopAfterMessage();
}

TransferResult BankTransfer::run(ITransferObserver* observer)
{
    TransferResult result;
    result.resumeFrom = 0;
    // Refuse before anything is sent: a half-sent table is worse than none.
    for (const auto& bank : m_banks) {
        const SendError refused = WrapperKtMidiInterface::refusal(*bank, m_channel);
        if (refused != SendError::none) {
            result.outcome = TransferOutcome::failed;
            result.error = refused;
            result.message = sendErrorText(refused);
            return finish(result);
        }
    }
    if (stopRequested() != StopPoint::none) {
        result.outcome = TransferOutcome::stopped;
        result.error = SendError::stopped;
        result.message = sendErrorText(SendError::stopped);
        return finish(result);
    }

    // Without it the send goes on; the computer may sleep, and that is said.
    result.keptAwake = m_inhibitor != nullptr && m_inhibitor->inhibit(kInhibitReason);
    m_maySleep.store(!result.keptAwake, std::memory_order_release);
    m_phase.store(static_cast<int>(TransferPhase::opening), std::memory_order_release);
    if (!m_session.open()) {
        result.outcome = TransferOutcome::failed;
        result.error = m_session.errorKind();
        result.message = m_session.error();
    } else {
        m_phase.store(static_cast<int>(TransferPhase::sending), std::memory_order_release);
        for (std::size_t position = 0; position < m_banks.size(); ++position) {
            result.resumeFrom = position;
            if (stopRequested() != StopPoint::none) {
                result.outcome = TransferOutcome::stopped;
                result.error = SendError::stopped;
                result.message = sendErrorText(SendError::stopped);
                break;
            }
            if (observer != nullptr) observer->bankStarting(position);
            if (m_session.sendBank(*m_banks[position], m_channel, m_blocks[position])) {
                result.banksSent = position + 1;
                m_banksSent.store(result.banksSent, std::memory_order_release);
                if (observer != nullptr) observer->bankSent(position);
                continue;
            }
            result.error = m_session.errorKind();
            result.outcome = result.error == SendError::stopped ? TransferOutcome::stopped : TransferOutcome::failed;
            result.message = m_session.error();
            if (m_session.messagesSent() > 0) result.incomplete = position;
            break;
        }
        if (result.outcome == TransferOutcome::completed) result.resumeFrom.reset();
    }
    m_session.close();
    if (result.keptAwake) m_inhibitor->release();
    return finish(result);
}

TransferResult BankTransfer::finish(TransferResult result)
{
    result.journalWarning = m_journalWarning;
    m_phase.store(static_cast<int>(TransferPhase::finished), std::memory_order_release);
    return result;
}

TransferProgress BankTransfer::progress() const
{
    TransferProgress progress;
    progress.phase = static_cast<TransferPhase>(m_phase.load(std::memory_order_acquire));
    progress.bankCount = m_banks.size();
    progress.banksSent = m_banksSent.load(std::memory_order_acquire);
    progress.stopping = stopRequested();
    progress.maySleep = m_maySleep.load(std::memory_order_acquire);
    const std::uint64_t total = m_plannedMs.back();
    if (progress.bankCount > 0 && progress.banksSent == progress.bankCount) {
        progress.bank = progress.bankCount - 1;
        progress.percent = 100;
        progress.bankPercent = 100;
        return progress;
    }
    // The session's timeline is this transfer's plan, step for step.
    const std::uint64_t at = std::min(m_session.position().atMs, total);
    // The bank whose planned time holds the position (the opening counts to the first).
    const auto ends = std::upper_bound(m_plannedMs.begin(), m_plannedMs.end(), at);
    const auto holding = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, ends - m_plannedMs.begin() - 1));
    progress.percent = percentOf(at, total);
    if (progress.bankCount > 0) {
        progress.bank = std::min(holding, progress.bankCount - 1);
        const std::uint64_t begins = m_plannedMs[progress.bank];
        if (at >= begins) progress.bankPercent = percentOf(at - begins, m_plannedMs[progress.bank + 1] - begins);
    }
    progress.secondsLeft = (total - at + 999) / 1000;
    return progress;
}

std::optional<ResumePoint> BankTransfer::resumePoint(const TransferResult& result) const
{
    if (!result.resumeFrom || *result.resumeFrom >= m_banks.size()) return std::nullopt;
    ResumePoint point;
    point.position = *result.resumeFrom;
    point.bankIndex = m_banks[point.position]->getIndex();
    point.banksLeft = m_banks.size() - point.position;
    const std::uint64_t ms = m_plannedMs.front() + m_plannedMs.back() - m_plannedMs[point.position];
    point.secondsLeft = (ms + 999) / 1000;
    return point;
}

std::string formatDuration(std::uint64_t seconds)
{
    char text[48];
    const auto h = static_cast<unsigned long long>(seconds / 3600);
    const auto m = static_cast<unsigned long long>(seconds / 60 % 60);
    const auto s = static_cast<unsigned long long>(seconds % 60);
    if (h > 0)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", h, m, s);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", m, s);
    return text;
}

std::string describeProgress(const TransferProgress& progress)
{
    const std::string left = " - " + formatDuration(progress.secondsLeft) + " left";
    if (progress.phase == TransferPhase::waiting || progress.phase == TransferPhase::opening)
        return "Opening the port" + left;
    return "Bank " + std::to_string(progress.bank + 1) + " of " + std::to_string(progress.bankCount) + left;
}
