// Settings in and out of `.reg` text files: `ornel_ftp --export-reg FILE` and
// `--import-reg FILE`. Free functions over the store; UI thread (or the command line).
#pragma once

#include "platform/RegistryStore.h"

#include <filesystem>
#include <string>
#include <vector>

namespace ornel
{

struct ImportReport
{
    int Imported = 0;                 // values written to the store
    std::vector<std::string> Skipped; // values of our keys that the program does not know
    // Keys and values given twice, and a WOW6432Node key beside the normal one: which one
    // was taken, naming the file and the lines. For standard error.
    std::vector<std::string> Notices;
};

// Writes the counter key and the configuration key as REGEDIT4 text (UTF-8 behind our
// mark, CR LF), which ImportRegistry reads back exactly. The file may hold passwords: a new
// file is readable by its owner only.
void ExportRegistry(RegistryStore& store, const std::filesystem::path& file);

// Reads a file written by ExportRegistry or exported on Windows (REGEDIT4 in
// Windows-1251, version 5.00 in UTF-16LE; keys under SOFTWARE or SOFTWARE\WOW6432Node)
// and writes the configuration, schedule and counter values it holds in one step. Every
// value is checked against the settings table first; a value of the wrong kind stops
// the import with "<file>, line <n>: Invalid data type for '%s'" before anything is
// written, as does anything that is not a regular file, a file above kMaxRegFileSize and
// a file that breaks its encoding rule or holds a value cut short. Unknown values are
// skipped. Throws std::runtime_error.
ImportReport ImportRegistry(RegistryStore& store, const std::filesystem::path& file);

} // namespace ornel
