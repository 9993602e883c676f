#include "stream_check.h"

#include "model/sound.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace alsavm {

std::vector<ExpectedMessage> expectedForSoundBank(std::uint16_t bankIndex, std::uint16_t channel)
{
    std::vector<ExpectedMessage> out;
    // Opening the port silences every channel, then channel 0 once more.
    for (unsigned n = 0; n <= 16; ++n) out.push_back({0, {static_cast<std::uint8_t>(0xB0 + (n % 16)), 0x7B, 0x00}});
    CSound bank(bankIndex);
    for (const auto& event : bank.buildEvents(channel)) {
        if (!event) continue;
        out.push_back({static_cast<std::uint32_t>(event->getOffset()) * 1000u, event->getMessageData()});
    }
    return out;
}

bool saveExpected(const std::vector<ExpectedMessage>& messages, const std::string& indexPath,
                  const std::string& bytesPath)
{
    std::ofstream index(indexPath);
    std::ofstream bytes(bytesPath, std::ios::binary);
    for (const auto& m : messages) {
        index << m.pauseMs << ' ' << m.bytes.size() << '\n';
        bytes.write(reinterpret_cast<const char*>(m.bytes.data()), static_cast<std::streamsize>(m.bytes.size()));
    }
    return static_cast<bool>(index) && static_cast<bool>(bytes);
}

bool loadExpected(std::vector<ExpectedMessage>& messages, const std::string& indexPath, const std::string& bytesPath,
                  std::string& error)
{
    std::ifstream index(indexPath);
    std::ifstream bytes(bytesPath, std::ios::binary);
    if (!index || !bytes) {
        error = "cannot open " + indexPath + " or " + bytesPath;
        return false;
    }
    messages.clear();
    std::uint32_t pause = 0;
    std::size_t size = 0;
    while (index >> pause >> size) {
        ExpectedMessage m{pause, std::vector<std::uint8_t>(size)};
        if (!bytes.read(reinterpret_cast<char*>(m.bytes.data()), static_cast<std::streamsize>(size))) {
            error = bytesPath + " is shorter than " + indexPath + " says";
            return false;
        }
        messages.push_back(std::move(m));
    }
    if (bytes.peek() != std::char_traits<char>::eof()) {
        error = bytesPath + " is longer than " + indexPath + " says";
        return false;
    }
    return true;
}

void Received::append(const std::uint8_t* data, std::size_t count, double time)
{
    bytes.insert(bytes.end(), data, data + count);
    times.insert(times.end(), count, time);
}

bool saveReceived(const Received& received, const std::string& path)
{
    std::ofstream out(path);
    out << std::fixed << std::setprecision(6) << std::hex << std::setfill('0');
    std::size_t i = 0;
    while (i < received.bytes.size()) {
        const double t = received.times[i];
        out << t << ' ';
        for (; i < received.bytes.size() && received.times[i] == t; ++i)
            out << std::setw(2) << static_cast<unsigned>(received.bytes[i]);
        out << '\n';
    }
    return static_cast<bool>(out);
}

bool loadReceived(Received& received, const std::string& path, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    received = {};
    std::string line;
    std::size_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty()) continue;
        std::istringstream fields(line);
        double time = 0;
        std::string hex;
        fields >> time >> hex;
        if (!fields || hex.size() % 2 != 0) {
            error = path + ":" + std::to_string(lineNo) + ": not \"<seconds> <hex bytes>\"";
            return false;
        }
        std::vector<std::uint8_t> chunk;
        for (std::size_t k = 0; k < hex.size(); k += 2) {
            unsigned value = 0;
            if (std::sscanf(hex.c_str() + k, "%2x", &value) != 1) {
                error = path + ":" + std::to_string(lineNo) + ": bad hex";
                return false;
            }
            chunk.push_back(static_cast<std::uint8_t>(value));
        }
        received.append(chunk.data(), chunk.size(), time);
    }
    return true;
}

CheckResult checkStream(const std::vector<ExpectedMessage>& expected, const Received& received, double toleranceMs)
{
    CheckResult r;
    std::vector<std::uint8_t> all;
    std::vector<std::size_t> starts;
    for (const auto& m : expected) {
        starts.push_back(all.size());
        all.insert(all.end(), m.bytes.begin(), m.bytes.end());
    }
    r.expectedBytes = all.size();
    r.receivedBytes = received.bytes.size();
    const auto mismatch = std::mismatch(all.begin(), all.end(), received.bytes.begin(), received.bytes.end());
    r.firstDifference = static_cast<std::size_t>(mismatch.first - all.begin());
    r.complete = r.receivedBytes == r.expectedBytes && r.firstDifference == r.expectedBytes;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (starts[i] + expected[i].bytes.size() > r.firstDifference) break;
        r.messagesIntact = i + 1;
    }
    if (!received.times.empty()) r.seconds = received.times.back() - received.times.front();

    std::ostringstream detail;
    detail << std::fixed << std::setprecision(1);
    detail << "received " << r.receivedBytes << " of " << r.expectedBytes << " bytes, " << r.messagesIntact << " of "
           << expected.size() << " messages intact";
    if (!r.complete) {
        detail << ", first difference at byte " << r.firstDifference;
        r.detail = detail.str();
        return r;
    }

    r.gapsKept = true;
    bool anyPause = false;
    std::size_t longest = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::size_t first = starts[i];
        if (expected[i].bytes.size() > expected[longest].bytes.size()) longest = i;
        if (i == 0 || expected[i].pauseMs == 0) continue;
        const double gapMs = (received.times[first] - received.times[first - 1]) * 1000.0;
        const double margin = gapMs - expected[i].pauseMs;
        if (!anyPause || margin < r.shortestMarginMs) r.shortestMarginMs = margin;
        anyPause = true;
        detail << "; gap before message " << i << " " << gapMs << " ms (pause " << expected[i].pauseMs << ")";
        if (margin < -toleranceMs) r.gapsKept = false;
    }
    if (!expected.empty()) {
        const std::size_t first = starts[longest];
        const std::size_t size = expected[longest].bytes.size();
        const double span = received.times[first + size - 1] - received.times[first];
        if (span > 0) r.pace = static_cast<double>(size) / span;
        detail << "; " << size << "-byte message at " << r.pace << " bytes/s";
    }
    r.detail = detail.str();
    return r;
}

} // namespace alsavm
