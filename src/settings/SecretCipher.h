// The cipher for the stored secrets PIN, UPIN and ProxyPaswd: RC6 under a SHA-1 key from
// a fixed passphrase, 8-bit cipher feedback, Base64 text. Stateless free functions, keyed
// afresh per call; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

// The stored text of a setting's text (UTF-8 in, Base64 out). Never throws: any failure,
// a character without a Windows-1251 form included, gives the empty text; callers that
// must not lose a value check it with IsCp1251Representable first.
[[nodiscard]] std::string EncryptSecret(std::string_view text);
// The setting's text (UTF-8) of a stored text. Never throws; input that was not made by
// EncryptSecret deciphers to meaningless text, and any failure gives the empty text.
[[nodiscard]] std::string DecryptSecret(std::string_view stored);

// The building blocks, exposed for their published test vectors.
[[nodiscard]] std::array<std::uint8_t, 16> Rc6EncryptBlock(std::span<const std::uint8_t> key,
                                                           const std::array<std::uint8_t, 16>& block);
[[nodiscard]] std::string Base64Encode(std::span<const std::uint8_t> bytes);
// Whole groups of four only; "=" as third or fourth character shortens its group; other
// characters outside the alphabet count as "A".
[[nodiscard]] std::vector<std::uint8_t> Base64Decode(std::string_view text);

} // namespace ornel
