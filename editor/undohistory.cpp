#include "editor/undohistory.h"

#include <utility>

namespace {
const std::string kNone;
}

void UndoHistory::record(Step step)
{
    if (step.stored.empty()) return;
    // A new edit ends the redo branch.
    m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(m_next), m_steps.end());
    m_steps.push_back(std::move(step));
    if (m_steps.size() > kDepth) m_steps.erase(m_steps.begin());
    m_next = m_steps.size();
}

const std::string& UndoHistory::undoLabel() const { return canUndo() ? m_steps[m_next - 1].label : kNone; }
const std::string& UndoHistory::redoLabel() const { return canRedo() ? m_steps[m_next].label : kNone; }

void UndoHistory::swap(Step& step, EditedTable& table)
{
    table.exchange(step.stored);
    if (step.savedOther) {
        std::vector<std::uint64_t> now = table.savedRevisions();
        table.setSavedRevisions(std::exchange(*step.savedOther, std::move(now)));
    }
}

std::optional<int> UndoHistory::undo(EditedTable& table)
{
    if (!canUndo()) return std::nullopt;
    Step& step = m_steps[--m_next];
    swap(step, table);
    return step.position;
}

std::optional<int> UndoHistory::redo(EditedTable& table)
{
    if (!canRedo()) return std::nullopt;
    Step& step = m_steps[m_next++];
    swap(step, table);
    return step.position;
}
