#pragma once

#include "midifile/bankdocument.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A bank that is not in the table, with the position and revision it had
// there, so it can be put back exactly.
struct StoredBank {
    std::size_t position = 0;
    std::unique_ptr<IBank> bank;
    std::uint64_t revision = 0;
};

// The editor's table of 32 banks as edits see it. An edit never changes a
// bank in the table: it puts a new bank in its place, and the bank that
// leaves is kept by the undo history. Every bank that enters gets a new
// revision number, so a position is changed exactly while its revision
// differs from the one it had when it was last saved or opened, and undoing
// back to that state clears the mark.
class EditedTable {
public:
    EditedTable();

    BankDocument& document() { return m_document; }
    const BankDocument& document() const { return m_document; }
    std::size_t size() const { return m_document.banks().size(); }
    IBank& bank(std::size_t position) { return *m_document.banks().at(position); }
    const IBank& bank(std::size_t position) const { return *m_document.banks().at(position); }

    // Puts a bank at its position; returns the bank it replaced.
    std::vector<StoredBank> put(std::size_t position, std::unique_ptr<IBank> bank);
    // Takes an opened file as the document allows; returns what it replaced.
    std::vector<StoredBank> takeFrom(BankDocument&& opened, std::size_t position);
    // Swaps stored banks with those at their positions: undo and redo alike.
    void exchange(std::vector<StoredBank>& stored);

    bool isChanged(std::size_t position) const { return m_revisions.at(position) != m_saved.at(position); }
    bool anyChanged() const { return m_revisions != m_saved; }
    void markSaved(std::size_t position) { m_saved.at(position) = m_revisions.at(position); }
    void markAllSaved() { m_saved = m_revisions; }
    // What each position held when it was last saved or opened; an undone
    // open puts back the marks it found.
    const std::vector<std::uint64_t>& savedRevisions() const { return m_saved; }
    void setSavedRevisions(std::vector<std::uint64_t> saved) { m_saved = std::move(saved); }

private:
    std::vector<StoredBank> entered(std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>>&& replaced);

    BankDocument m_document = BankDocument::factory(std::nullopt);
    std::vector<std::uint64_t> m_revisions;
    std::vector<std::uint64_t> m_saved;
    std::uint64_t m_lastRevision = 0;
};
