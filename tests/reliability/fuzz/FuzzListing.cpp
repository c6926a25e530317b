// Fuzz target: a directory listing as it arrives on the data connection, split into lines
// and recoded from Windows-1251, as the client hands it to the engine.
#include "ftp/FtpText.h"
#include "platform/CodePage.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t total = 0;
    for (const auto& line : ornel::SplitTextLines(text)) {
        if (line.find('\r') != std::string::npos || line.find('\n') != std::string::npos ||
            line.find('\0') != std::string::npos) {
            std::abort(); // a line never carries a line end or a NUL
        }
        total += line.size();
        const std::string utf8 = ornel::Cp1251ToUtf8(line);
        (void)ornel::Trim(utf8);
        (void)ornel::IsCp1251Representable(utf8);
    }
    if (total > size) {
        std::abort();
    }
    return 0;
}
