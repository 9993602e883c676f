#include "editor/editedtable.h"

#include <utility>

EditedTable::EditedTable() : m_revisions(m_document.banks().size()), m_saved(m_document.banks().size()) {}

std::vector<StoredBank> EditedTable::entered(std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>>&& replaced)
{
    std::vector<StoredBank> stored;
    stored.reserve(replaced.size());
    for (auto& [position, bank] : replaced) {
        stored.push_back({position, std::move(bank), m_revisions.at(position)});
        m_revisions.at(position) = ++m_lastRevision;
    }
    return stored;
}

std::vector<StoredBank> EditedTable::put(std::size_t position, std::unique_ptr<IBank> bank)
{
    std::vector<std::pair<std::size_t, std::unique_ptr<IBank>>> replaced;
    replaced.emplace_back(position, std::exchange(m_document.banks().at(position), std::move(bank)));
    return entered(std::move(replaced));
}

std::vector<StoredBank> EditedTable::takeFrom(BankDocument&& opened, std::size_t position)
{
    return entered(m_document.takeFrom(std::move(opened), position));
}

void EditedTable::exchange(std::vector<StoredBank>& stored)
{
    for (StoredBank& entry : stored) {
        std::swap(m_document.banks().at(entry.position), entry.bank);
        std::swap(m_revisions.at(entry.position), entry.revision);
    }
}

