// The agent's command line: what to run and where its stores live. Parsed once in main().
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ornel
{

enum class RunMode
{
    Tray,
    CycleSendReceive,
    CycleReceiveSend,
    Service,
    InitJournal,
    ImportReg,
    ExportReg,
    Help,
    Version,
};

struct CommandLine
{
    RunMode Mode = RunMode::Tray;
    std::string RegistryDir;                      // --registry-dir, empty when not given
    std::optional<std::filesystem::path> Journal; // --journal FILE
    std::filesystem::path File;                   // the FILE of --init-journal, --import-reg, --export-reg
};

// Throws std::invalid_argument with a message for the user on a malformed command line.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& args);

// `withoutOptions`: what a start without options does in this build (a line of its own).
[[nodiscard]] std::string UsageText(const char* withoutOptions);

} // namespace ornel
