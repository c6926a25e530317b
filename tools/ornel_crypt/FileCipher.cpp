#include "FileCipher.h"

#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "platform/TransferFile.h"

#include <cstring>
#include <sodium.h>
#include <string_view>
#include <vector>

namespace ornel::crypt
{

namespace
{

constexpr std::string_view kMagic = "ORNELCR1";
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kSealedChunk = kChunk + crypto_secretstream_xchacha20poly1305_ABYTES;

class InFile
{
public:
    explicit InFile(const std::filesystem::path& file)
        : m_name(PathToUtf8(file))
    {
        try {
            m_file = TransferFile::OpenForReading(file);
        } catch (const TransferFileError& e) {
            throw std::runtime_error("Не удается открыть файл " + m_name + ": " + e.what());
        }
    }

    // Fills the buffer as far as the file goes; returns the bytes read.
    std::size_t Read(std::uint8_t* data, std::size_t size)
    {
        std::size_t done = 0;
        try {
            while (done < size) {
                const std::size_t n = m_file.Read(reinterpret_cast<char*>(data + done), size - done);
                if (n == 0) {
                    break;
                }
                done += n;
            }
        } catch (const TransferFileError& e) {
            throw std::runtime_error("Ошибка чтения файла " + m_name + ": " + e.what());
        }
        return done;
    }

private:
    std::string m_name;
    TransferFile m_file;
};

void WriteAll(PartialFile& out, const std::uint8_t* data, std::size_t size)
{
    try {
        out.Write(data, size);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Ошибка записи: ") + e.what());
    }
}

} // namespace

FileCipher::FileCipher(std::string code, std::string pin)
{
    if (sodium_init() < 0) {
        throw std::runtime_error("Не удалось запустить криптографическую библиотеку");
    }
    // The unit separator keeps "12" + "3" and "1" + "23" apart.
    m_password = std::move(code) + '\x1f' + std::move(pin);
    randombytes_buf(m_runSalt.data(), m_runSalt.size());
}

FileCipher::~FileCipher()
{
    for (auto& [salt, key] : m_keys) {
        sodium_memzero(key.data(), key.size());
    }
    sodium_memzero(m_password.data(), m_password.size());
}

const FileCipher::Key& FileCipher::KeyFor(const Salt& salt)
{
    const auto found = m_keys.find(salt);
    if (found != m_keys.end()) {
        return found->second;
    }
    Key key{};
    if (crypto_pwhash(key.data(), key.size(), m_password.data(), m_password.size(), salt.data(),
                      crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        throw std::runtime_error("Недостаточно памяти для вычисления ключа");
    }
    return m_keys.emplace(salt, key).first->second;
}

void FileCipher::Encrypt(const std::filesystem::path& source, PartialFile& out)
{
    InFile in(source);
    const Key& key = KeyFor(m_runSalt);
    crypto_secretstream_xchacha20poly1305_state state;
    std::uint8_t header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.data());
    WriteAll(out, reinterpret_cast<const std::uint8_t*>(kMagic.data()), kMagic.size());
    WriteAll(out, m_runSalt.data(), m_runSalt.size());
    WriteAll(out, header, sizeof header);

    // One chunk is read ahead so that the last one, and only it, carries the final tag
    // (an empty file is one empty final chunk).
    std::vector<std::uint8_t> current(kChunk);
    std::vector<std::uint8_t> next(kChunk);
    std::vector<std::uint8_t> sealed(kSealedChunk);
    std::size_t currentSize = in.Read(current.data(), kChunk);
    for (;;) {
        const std::size_t nextSize = currentSize == kChunk ? in.Read(next.data(), kChunk) : 0;
        const bool last = currentSize < kChunk || nextSize == 0;
        const std::uint8_t tag = last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0;
        unsigned long long sealedSize = 0;
        crypto_secretstream_xchacha20poly1305_push(&state, sealed.data(), &sealedSize, current.data(),
                                                   currentSize, nullptr, 0, tag);
        WriteAll(out, sealed.data(), static_cast<std::size_t>(sealedSize));
        if (last) {
            break;
        }
        current.swap(next);
        currentSize = nextSize;
    }
    sodium_memzero(current.data(), current.size());
    sodium_memzero(next.data(), next.size());
}

void FileCipher::Decrypt(const std::filesystem::path& source, PartialFile& out)
{
    InFile in(source);
    std::uint8_t prefix[kMagic.size() + kSaltSize + crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    if (in.Read(prefix, sizeof prefix) != sizeof prefix ||
        std::memcmp(prefix, kMagic.data(), kMagic.size()) != 0) {
        throw DecryptError("файл не является зашифрованным файлом этой программы");
    }
    Salt salt{};
    std::memcpy(salt.data(), prefix + kMagic.size(), kSaltSize);
    const Key& key = KeyFor(salt);
    crypto_secretstream_xchacha20poly1305_state state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, prefix + kMagic.size() + kSaltSize,
                                                        key.data()) != 0) {
        throw DecryptError("повреждён заголовок файла");
    }
    std::vector<std::uint8_t> sealed(kSealedChunk);
    std::vector<std::uint8_t> plain(kChunk);
    for (;;) {
        const std::size_t sealedSize = in.Read(sealed.data(), kSealedChunk);
        if (sealedSize == 0) {
            throw DecryptError("файл обрезан: нет завершающего блока");
        }
        unsigned long long plainSize = 0;
        std::uint8_t tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainSize, &tag, sealed.data(),
                                                       sealedSize, nullptr, 0) != 0) {
            throw DecryptError(sealedSize < kSealedChunk && sealedSize > 0
                                   ? "неверный ключ (код или PIN), файл повреждён или обрезан"
                                   : "неверный ключ (код или PIN) или файл повреждён");
        }
        WriteAll(out, plain.data(), static_cast<std::size_t>(plainSize));
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            std::uint8_t extra = 0;
            if (in.Read(&extra, 1) != 0) {
                throw DecryptError("после завершающего блока есть лишние данные");
            }
            break;
        }
        if (sealedSize < kSealedChunk) {
            throw DecryptError("файл обрезан: нет завершающего блока");
        }
    }
    sodium_memzero(plain.data(), plain.size());
}

} // namespace ornel::crypt
