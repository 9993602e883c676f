#pragma once

#include "model/slotimport.h"

#include <string>

// The import options a user chose last, kept between runs in a small text
// file of "name=value" lines. Where a file imports is the file's own: the
// start and the end are not kept.
namespace importsettings {

// In the user's configuration folder; empty when there is none.
std::string defaultPath();
// Defaults for a missing or unreadable file, and for any line it cannot read.
ImportOptions load(const std::string& path);
// False when the file could not be written; the options then last this run only.
bool save(const std::string& path, const ImportOptions& options);

} // namespace importsettings
