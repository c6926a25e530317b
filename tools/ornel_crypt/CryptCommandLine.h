// The command line of the encryption program: -T (encrypt) or -R (decrypt), -I input mask,
// -O output folder, -W code, -P PIN, -PU token PIN, -E folder, -M log file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ornel::crypt
{

enum class Mode
{
    Encrypt,
    Decrypt,
};

struct CryptOptions
{
    Mode Direction = Mode::Encrypt;
    std::string InputFolder; // the folder part of -I ("." when it has none)
    std::string InputMask;   // the name part of -I ("*.*" when it has none)
    std::string OutputFolder;
    std::string Code;
    std::string Pin;
    std::string TokenPin;
    std::string PostBox;
    std::string LogFile;
};

// The caller splits its parameter text at blanks, so a value may come in several pieces:
// the pieces up to the next option letter are joined with one blank. An option followed
// directly by another one has an empty value. Returns nothing (the reason in `error`) for
// an unknown option or a missing -T/-R, -I or -O.
[[nodiscard]] std::optional<CryptOptions> ParseCommandLine(const std::vector<std::string>& args,
                                                           std::string& error);

} // namespace ornel::crypt
