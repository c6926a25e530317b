#include "ftp/OneTimePassword.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <array>
#include <cryptopp/md4.h>
#include <cryptopp/md5.h>
#include <cryptopp/sha.h>
#include <vector>

namespace ornel
{

namespace
{

using Key = std::array<unsigned char, 8>;

template <class Hash> std::vector<unsigned char> Digest(const unsigned char* data, std::size_t size)
{
    Hash hash;
    std::vector<unsigned char> digest(Hash::DIGESTSIZE);
    hash.CalculateDigest(digest.data(), data, size);
    return digest;
}

// Folds a digest to 64 bits the way RFC 2289 prescribes for each algorithm.
Key Fold(OtpAlgorithm algorithm, const unsigned char* data, std::size_t size)
{
    Key key{};
    if (algorithm == OtpAlgorithm::Sha1) {
        const auto d = Digest<CryptoPP::SHA1>(data, size);
        // The RFC folds the five 32-bit words of the digest and lays the two remaining
        // words out least significant byte first.
        std::array<std::uint32_t, 5> w{};
        for (std::size_t i = 0; i < 5; ++i) {
            w[i] = static_cast<std::uint32_t>(d[4 * i]) << 24 |
                   static_cast<std::uint32_t>(d[4 * i + 1]) << 16 |
                   static_cast<std::uint32_t>(d[4 * i + 2]) << 8 | static_cast<std::uint32_t>(d[4 * i + 3]);
        }
        w[0] ^= w[2];
        w[1] ^= w[3];
        w[0] ^= w[4];
        for (std::size_t i = 0; i < 4; ++i) {
            key[i] = static_cast<unsigned char>(w[0] >> (8 * i));
            key[4 + i] = static_cast<unsigned char>(w[1] >> (8 * i));
        }
        return key;
    }
    const auto d = algorithm == OtpAlgorithm::Md4 ? Digest<CryptoPP::Weak::MD4>(data, size)
                                                  : Digest<CryptoPP::Weak::MD5>(data, size);
    for (std::size_t i = 0; i < 8; ++i) {
        key[i] = static_cast<unsigned char>(d[i] ^ d[i + 8]);
    }
    return key;
}

std::string LowerAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

} // namespace

std::optional<OtpChallenge> FindOtpChallenge(std::string_view text)
{
    static const std::pair<std::string_view, OtpAlgorithm> kNames[] = {
        {"otp-md4 ", OtpAlgorithm::Md4}, {"otp-md5 ", OtpAlgorithm::Md5}, {"otp-sha1 ", OtpAlgorithm::Sha1}};
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find("otp-", from);
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        for (const auto& [name, algorithm] : kNames) {
            if (text.substr(at, name.size()) != name) {
                continue;
            }
            std::string_view rest = text.substr(at + name.size());
            auto word = [&rest]() {
                std::size_t begin = 0;
                while (begin < rest.size() && rest[begin] == ' ') {
                    ++begin;
                }
                std::size_t end = begin;
                while (end < rest.size() && rest[end] != ' ' && rest[end] != '\r' && rest[end] != '\n') {
                    ++end;
                }
                std::string_view result = rest.substr(begin, end - begin);
                rest.remove_prefix(end);
                return std::string(result);
            };
            OtpChallenge challenge;
            challenge.algorithm = algorithm;
            const std::string sequence = word();
            const std::int64_t value = ParseIntOrThrow(sequence);
            if (value < 0 || value > 100000) {
                // RFC 2289 counts stay far below this; a larger one would keep the hash
                // loop busy for no login that can succeed.
                throw EConvertError(sequence);
            }
            challenge.sequence = static_cast<int>(value);
            challenge.seed = word();
            return challenge;
        }
        from = at + 4;
    }
}

std::uint64_t OtpKey(OtpAlgorithm algorithm, int sequence, std::string_view seed, std::string_view passPhrase)
{
    const std::string start = LowerAscii(seed) + std::string(passPhrase);
    Key key = Fold(algorithm, reinterpret_cast<const unsigned char*>(start.data()), start.size());
    for (int i = 0; i < sequence; ++i) {
        key = Fold(algorithm, key.data(), key.size());
    }
    std::uint64_t value = 0;
    for (const unsigned char byte : key) {
        value = value << 8 | byte;
    }
    return value;
}

std::string OtpSixWords(std::uint64_t key)
{
    unsigned checksum = 0;
    for (int shift = 0; shift < 64; shift += 2) {
        checksum += static_cast<unsigned>((key >> shift) & 3U);
    }
    // 66 bits: the key followed by the two checksum bits, cut into six 11-bit indices.
    std::string words;
    for (int i = 0; i < 6; ++i) {
        const int firstBit = 11 * i;
        std::uint64_t index = 0;
        for (int bit = firstBit; bit < firstBit + 11; ++bit) {
            const std::uint64_t value = bit < 64 ? (key >> (63 - bit)) & 1U : (checksum >> (65 - bit)) & 1U;
            index = index << 1 | value;
        }
        if (i > 0) {
            words += ' ';
        }
        words += OtpDictionaryWord(static_cast<std::size_t>(index));
    }
    return words;
}

} // namespace ornel
