#include "model/content.h"

#include "audio/ktaudiofilereader.h"

// Audio files are converted to the machine's format, any other file is
// taken as raw sample bytes (importIntoSlot). The slot changes only when the
// file delivered at least one byte.
bool CSample::load(const std::string& path)
{
    return import(path, {}).imported();
}

bool CSample::load(std::span<const std::uint8_t> bytes)
{
    return import(bytes, {}).imported();
}

ImportResult CSample::import(const std::string& path, const ImportOptions& options)
{
    KtAudioFileReader reader(path);
    return importIntoSlot(reader, m_data, options);
}

ImportResult CSample::import(std::span<const std::uint8_t> bytes, const ImportOptions& options)
{
    KtAudioFileReader reader(bytes);
    return importIntoSlot(reader, m_data, options);
}
