// RFC 2289 one-time passwords, the answer to a server's "otp-md5 499 seed" challenge.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ornel
{

enum class OtpAlgorithm
{
    Md4,
    Md5,
    Sha1,
};

struct OtpChallenge
{
    OtpAlgorithm algorithm = OtpAlgorithm::Md5;
    int sequence = 0;
    std::string seed;
};

// Finds "otp-md4 ", "otp-md5 " or "otp-sha1 " in a reply text and reads the sequence number
// and the seed after it. Throws EConvertError when the sequence number is not an integer.
[[nodiscard]] std::optional<OtpChallenge> FindOtpChallenge(std::string_view text);

// The 64-bit one-time password: the folded hash of seed and pass phrase, hashed again
// `sequence` times.
[[nodiscard]] std::uint64_t OtpKey(OtpAlgorithm algorithm, int sequence, std::string_view seed,
                                   std::string_view passPhrase);
// The standard six-word form of a 64-bit one-time password, words separated by blanks.
[[nodiscard]] std::string OtpSixWords(std::uint64_t key);

// The 2048 words of the RFC 2289 dictionary, compiled in from data/rfc2289-dictionary.txt.
[[nodiscard]] const char* OtpDictionaryWord(std::size_t index);
inline constexpr std::size_t kOtpDictionarySize = 2048;

} // namespace ornel
