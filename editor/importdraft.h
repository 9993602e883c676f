#pragma once

#include "model/slotimport.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class IBank;

// One import being shaped in an import window: the file, the slot it goes
// into and the options, with the result as the slot will hold it. Every
// change of the options computes the result again; OK stores exactly these
// bytes (CEditorSession::commitImport), and Preview plays them.
class CImportDraft {
public:
    // `bank` is a copy of the bank the file goes into; the draft shapes its content.
    CImportDraft(std::string path, int row, std::uint16_t content, std::unique_ptr<IBank> bank,
                 const ImportOptions& options);
    ~CImportDraft();
    CImportDraft(const CImportDraft&) = delete;
    CImportDraft& operator=(const CImportDraft&) = delete;

    const std::string& path() const { return m_path; }
    std::string fileName() const;
    int row() const { return m_row; }
    std::uint16_t content() const { return m_content; }
    std::string label() const; // "CLAP"

    const ImportOptions& options() const { return m_options; }
    // Shapes the result anew. Options that contradict themselves keep the
    // last good result; problem() then says why.
    void setOptions(const ImportOptions& options);
    const std::string& problem() const { return m_problem; }
    const ImportResult& result() const { return m_result; }
    bool importable() const { return m_problem.empty() && m_result.imported(); }

    // The slot's bytes as they will be stored.
    std::span<const std::uint8_t> shaped() const;
    // The whole source at the machine's rate, unshaped: what the window
    // draws under its start and end handles, and what A/B plays.
    std::span<const std::uint8_t> source() const { return m_source; }
    double sourceSeconds() const { return m_result.sourceSeconds; }
    double capacitySeconds() const { return m_result.capacitySeconds; }
    // Where the slot ends in the source for the chosen start.
    double slotEndSeconds() const;
    // The zero crossing of the source nearest to this time.
    double snapToZeroCrossing(double seconds) const;
    // "peak -0.4 dBFS, 0 clipped, DC offset +0.1 steps, audible for 0.62 s at 8 bits"
    std::string figures() const;

    // For CEditorSession::commitImport.
    std::unique_ptr<IBank> takeBank();

private:
    std::string m_path;
    int m_row;
    std::uint16_t m_content;
    std::unique_ptr<IBank> m_original;
    std::unique_ptr<IBank> m_shapedBank;
    ImportOptions m_options;
    ImportResult m_result;
    std::string m_problem;
    std::vector<std::uint8_t> m_source;
};
