#pragma once

#include "editor/editedtable.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The session's undo history. An edit is made first and then recorded with
// the banks it replaced, so a step holds only those: banks that did not
// change stay shared with the table, never copied. Undo and redo swap the
// stored banks with the table's. The depth is bounded, as a whole-table open
// keeps 32 banks.
class UndoHistory {
public:
    static constexpr std::size_t kDepth = 100;

    struct Step {
        std::string label;               // "Import clap.wav into CLAP"
        std::vector<StoredBank> stored;  // what the other side of the step holds
        int position = -1;               // the bank to show afterwards; -1: every bank changed
        // An open marks what it took as saved; undoing it puts back the
        // marks it found, redoing it those it left.
        std::optional<std::vector<std::uint64_t>> savedOther;
    };

    void record(Step step);
    bool canUndo() const { return m_next > 0; }
    bool canRedo() const { return m_next < m_steps.size(); }
    const std::string& undoLabel() const;
    const std::string& redoLabel() const;
    // The position to show, or nullopt when there was nothing to do.
    std::optional<int> undo(EditedTable& table);
    std::optional<int> redo(EditedTable& table);
    std::size_t depth() const { return m_steps.size(); }

private:
    static void swap(Step& step, EditedTable& table);

    std::vector<Step> m_steps;
    std::size_t m_next = 0; // steps before it are done
};
