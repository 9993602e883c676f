#pragma once

#include "midifile/bankdocument.h"

#include <QUndoCommand>

#include <cstddef>
#include <cstdint>
#include <functional>
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

private:
    std::vector<StoredBank> entered(std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>>&& replaced);

    BankDocument m_document = BankDocument::factory(std::nullopt);
    std::vector<std::uint64_t> m_revisions;
    std::vector<std::uint64_t> m_saved;
    std::uint64_t m_lastRevision = 0;
};

// One edit of the table (a rename, an import, a reset, an open), made before
// it is pushed: it holds the banks it replaced, and undo and redo swap them
// with the table's. Afterwards it calls shown with the position to show (-1:
// every position changed).
class BankEdit : public QUndoCommand {
public:
    BankEdit(const QString& text, EditedTable& table, std::vector<StoredBank> replaced, int position,
             std::function<void(int)> shown);

    void undo() override;
    void redo() override;

private:
    EditedTable& m_table;
    std::vector<StoredBank> m_stored;
    int m_position;
    std::function<void(int)> m_shown;
    bool m_inTable = true; // the edit is made when it is pushed
};
