// Whole-file replacement that a crash cannot leave half done: the reader finds either the
// old or the new content. Any thread; the caller serialises writers of one file.
#pragma once

#include <filesystem>
#include <string_view>

namespace ornel
{

// Writes `content` to "<target>.tmp" in the same folder, flushes it to disk, renames it
// over `target` and flushes the folder. A replaced file keeps its permission bits; a new
// one is readable by its owner only (it may hold passwords), and by the folder's group too
// when the folder is set-group-ID (shared by that group). Throws std::runtime_error.
void ReplaceFileAtomically(const std::filesystem::path& target, std::string_view content);

enum class AtomicWriteStage
{
    HalfWritten, // half of the temporary file is written
    Renamed,     // the new file is in place, the folder not yet flushed
};

// Tests only: called at each stage of every replacement (nullptr switches it off), so a
// test can kill a writer at a known moment.
void SetAtomicWriteHookForTesting(void (*hook)(AtomicWriteStage stage));

} // namespace ornel
