#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a receiver at the far end of the MIDI output must see when one bank
// is sent: the silencing short messages, then the bank's transfer messages,
// each with the pause that must precede it.
namespace alsavm {

struct ExpectedMessage {
    std::uint32_t pauseMs = 0; // least quiet time before the first byte
    std::vector<std::uint8_t> bytes;
};

// The 17 All Notes Off messages, then the bank's four transfer messages.
std::vector<ExpectedMessage> expectedForSoundBank(std::uint16_t bankIndex, std::uint16_t channel);

// Text header lines ("<pauseMs> <size>") plus one file of all bytes in order.
bool saveExpected(const std::vector<ExpectedMessage>& messages, const std::string& indexPath,
                  const std::string& bytesPath);
bool loadExpected(std::vector<ExpectedMessage>& messages, const std::string& indexPath, const std::string& bytesPath,
                  std::string& error);

// Bytes as they arrived, each with its arrival time in seconds.
struct Received {
    std::vector<std::uint8_t> bytes;
    std::vector<double> times;
    void append(const std::uint8_t* data, std::size_t count, double time);
};

// Text lines "<seconds> <hex bytes>", one per read.
bool saveReceived(const Received& received, const std::string& path);
bool loadReceived(Received& received, const std::string& path, std::string& error);

struct CheckResult {
    bool complete = false; // every byte arrived, in order, nothing extra
    bool gapsKept = false; // every pause was kept
    std::size_t expectedBytes = 0;
    std::size_t receivedBytes = 0;
    std::size_t firstDifference = 0; // byte offset; meaningful when !complete
    std::size_t messagesIntact = 0;  // leading expected messages received unchanged
    double shortestMarginMs = 0;     // least (gap - pause) over the paused messages
    double pace = 0;                 // bytes per second within the longest message
    double seconds = 0;              // first byte to last byte
    std::string detail;              // one line for the log
    bool passed() const { return complete && gapsKept; }
};

// toleranceMs absorbs the receiver's own timestamp granularity.
CheckResult checkStream(const std::vector<ExpectedMessage>& expected, const Received& received, double toleranceMs);

} // namespace alsavm
