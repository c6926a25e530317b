// Fuzz target: the Base64 reading of a stored secret and the deciphering behind it; both
// must take any text from the settings store without failing.
#include "settings/SecretCipher.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto bytes = ornel::Base64Decode(text);
    if (bytes.size() > (size / 4) * 3) {
        std::abort();
    }
    // Whatever decodes, encodes back to a text that decodes to the same bytes.
    if (ornel::Base64Decode(ornel::Base64Encode(bytes)) != bytes) {
        std::abort();
    }
    (void)ornel::DecryptSecret(text);
    return 0;
}
