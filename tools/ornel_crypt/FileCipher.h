// Authenticated file encryption of the encryption program: a key derived once from the
// code and the PIN (Argon2id), each file a stream of XChaCha20-Poly1305 chunks ending in
// a final tag. Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

namespace ornel
{
class PartialFile;
}

namespace ornel::crypt
{

// Why a file could not be decrypted, as the error report says it.
class DecryptError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class FileCipher
{
public:
    static constexpr std::size_t kSaltSize = 16;
    static constexpr std::size_t kKeySize = 32;

    // Throws std::runtime_error when the crypto library cannot start.
    FileCipher(std::string code, std::string pin);
    ~FileCipher();
    FileCipher(const FileCipher&) = delete;
    FileCipher& operator=(const FileCipher&) = delete;

    // Writes the encrypted form of `source` to `out`. Throws std::runtime_error on a read
    // or write failure.
    void Encrypt(const std::filesystem::path& source, PartialFile& out);
    // Writes the plain form; throws DecryptError for a file that is not ours, was damaged
    // or encrypted under another key, or ends before its final chunk.
    void Decrypt(const std::filesystem::path& source, PartialFile& out);

private:
    using Salt = std::array<std::uint8_t, kSaltSize>;
    using Key = std::array<std::uint8_t, kKeySize>;

    // Derivation costs about 150 ms: one per salt, and encryption uses one salt per run.
    const Key& KeyFor(const Salt& salt);

    std::string m_password;
    Salt m_runSalt{};
    std::map<Salt, Key> m_keys;
};

} // namespace ornel::crypt
