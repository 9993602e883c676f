#pragma once

#include "midifile/bankfileerror.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Bank files made to probe what opens and what is refused, with the answers
// every way of opening them must give: the core's document, the editor's
// Open from Disk and varno414. The file of a row is written on demand.
struct CraftedBankFile {
    std::string name;
    BankFileError error;      // None: it opens
    std::size_t banks;        // banks it opens into
    std::string says;         // part of what varno414 show prints (stdout, or stderr on refusal)
    std::size_t position;     // where the editor opens it
    bool editorTakes;         // false: the editor shows its "no sound bank(s)" box
    bool firmwarePlaceholder; // after the editor took it: bank 32 is a placeholder
};

const std::vector<CraftedBankFile>& craftedBankFiles();
const CraftedBankFile& craftedBankFile(const std::string& name);
// Writes the row's file into the folder (once) and returns its path.
std::filesystem::path writeCraftedBankFile(const CraftedBankFile& file, const std::filesystem::path& folder);
