#include "editor/importdraft.h"

#include "audio/ktaudiofilereader.h"
#include "audio/slotaudio.h"
#include "editor/sessionstate.h"
#include "model/bank.h"
#include "model/latin1.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Sources longer than this are drawn and played to here only.
constexpr double kLongestSource = 60.0;

} // namespace

CImportDraft::CImportDraft(std::string path, int row, std::uint16_t content, std::unique_ptr<IBank> bank,
                           const ImportOptions& options)
    : m_path(std::move(path)), m_row(row), m_content(content), m_original(std::move(bank))
{
    setOptions(options);
    // The source as a slot of its whole length would take it, unshaped.
    const double length = std::min(m_result.sourceSeconds, kLongestSource);
    m_source.assign(static_cast<std::size_t>(std::ceil(length * audio::kDeviceSampleRate)) + 1, audio::kZeroLevel);
    KtAudioFileReader reader(m_path);
    if (!importIntoSlot(reader, m_source, {}).imported()) m_source.clear();
}

CImportDraft::~CImportDraft() = default;

std::string CImportDraft::fileName() const
{
    return session::fileNameOf(m_path);
}

std::string CImportDraft::label() const
{
    return utf8FromLatin1(m_original->getContentLabel(m_content));
}

void CImportDraft::setOptions(const ImportOptions& options)
{
    m_options = options;
    m_problem = importOptionsProblem(options);
    if (!m_problem.empty()) return;
    std::unique_ptr<IBank> shaped = m_original->clone();
    ImportResult result = shaped->importContent(m_content, m_path, options);
    if (!result.imported()) {
        m_problem = result.reason.empty() ? describeImport(fileName(), result) : result.reason;
        if (!m_shapedBank) m_result = result;
        return;
    }
    m_result = result;
    m_shapedBank = std::move(shaped);
}

std::span<const std::uint8_t> CImportDraft::shaped() const
{
    const IBank* bank = m_shapedBank ? m_shapedBank.get() : m_original.get();
    const CContent* slot = bank->content(m_content);
    return slot ? std::span<const std::uint8_t>(slot->getData()) : std::span<const std::uint8_t>();
}

double CImportDraft::slotEndSeconds() const
{
    const double end = m_options.endSeconds.value_or(m_result.sourceSeconds);
    return std::min(end, m_options.startSeconds + m_result.capacitySeconds);
}

double CImportDraft::snapToZeroCrossing(double seconds) const
{
    if (m_source.size() < 2) return seconds;
    const auto at = static_cast<std::ptrdiff_t>(std::llround(seconds * audio::kDeviceSampleRate));
    const auto last = static_cast<std::ptrdiff_t>(m_source.size()) - 1;
    const auto crosses = [&](std::ptrdiff_t i) {
        if (i < 1 || i > last) return false;
        const int before = m_source[static_cast<std::size_t>(i - 1)] - audio::kZeroLevel;
        const int here = m_source[static_cast<std::size_t>(i)] - audio::kZeroLevel;
        return here == 0 || (before < 0) != (here < 0);
    };
    for (std::ptrdiff_t distance = 0; distance <= last; ++distance) {
        if (crosses(at - distance)) return static_cast<double>(at - distance) / audio::kDeviceSampleRate;
        if (crosses(at + distance)) return static_cast<double>(at + distance) / audio::kDeviceSampleRate;
    }
    return seconds;
}

std::string CImportDraft::figures() const
{
    const std::span<const std::uint8_t> bytes = shaped();
    const std::size_t used = audio::usedLength(bytes);
    int peak = 0;
    long long sum = 0;
    for (std::size_t i = 0; i < used; ++i) {
        const int value = bytes[i] - audio::kZeroLevel;
        peak = std::max(peak, std::abs(value));
        sum += value;
    }
    char text[160];
    const double dc = used > 0 ? static_cast<double>(sum) / static_cast<double>(used) : 0.0;
    const double audible = static_cast<double>(used) / audio::kDeviceSampleRate;
    if (peak == 0)
        std::snprintf(text, sizeof text, "silent, %zu clipped, audible for %.2f s at 8 bits", m_result.clipped, audible);
    else
        std::snprintf(text, sizeof text, "peak %.1f dBFS, %zu clipped, DC offset %+.1f steps, audible for %.2f s at 8 bits",
                      20.0 * std::log10(std::min(peak, 127) / 127.0), m_result.clipped, dc, audible);
    return text;
}

std::unique_ptr<IBank> CImportDraft::takeBank()
{
    return std::move(m_shapedBank);
}
