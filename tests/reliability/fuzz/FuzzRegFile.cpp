// Fuzz target: the .reg parser on any file bytes, and what it accepts written back and read
// again, as a store file and as a file to import.
#include "platform/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ornel::RegDocument document;
    try {
        document = ornel::ParseRegFile(bytes, "fuzz.reg", ornel::RegFileRole::Import);
    } catch (const ornel::RegFileError&) {
        return 0;
    }
    const std::string written = ornel::SerializeRegFile(document, ornel::LineEnd::CrLf);
    try {
        for (const auto role : {ornel::RegFileRole::StoreHive, ornel::RegFileRole::Import}) {
            const ornel::RegDocument again = ornel::ParseRegFile(written, "written.reg", role);
            if (again.Keys.size() > document.Keys.size()) {
                std::abort(); // writing may merge keys, never invent them
            }
        }
    } catch (const ornel::RegFileError&) {
        std::abort(); // what this program writes, it must read
    }
    return 0;
}
