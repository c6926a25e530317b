#include "settings/SecretCipher.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cryptopp/rc6.h>
#include <cryptopp/sha.h>
#include <stdexcept>

namespace ornel
{

namespace
{

constexpr std::string_view kPassphrase = "kqzvre381mwop д жыфхна л(*)(*рпа тыма       эюб902718^&*^&ылы д ц";
constexpr std::size_t kPassphraseBytes = 65;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

using Block = std::array<std::uint8_t, 16>;

// Overwrites a buffer in a way the optimiser may not drop.
void Wipe(std::uint8_t* data, std::size_t size)
{
    volatile std::uint8_t* p = data;
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0xFF;
}

// The keyed cipher with its feedback register; everything is wiped on destruction. The
// library object clears its own round keys when destroyed.
class FeedbackCipher
{
public:
    FeedbackCipher()
    {
        const std::string passphrase = Utf8ToCp1251(kPassphrase);
        if (passphrase.size() != kPassphraseBytes)
            throw std::logic_error("passphrase length");
        CryptoPP::SHA1 sha;
        sha.CalculateDigest(m_key.data(), reinterpret_cast<const CryptoPP::byte*>(passphrase.data()),
                            passphrase.size());
        // The library refuses a 20-byte RC6 key through SetKey although the algorithm is
        // defined for it; the unchecked entry keys it as published.
        m_rc6.UncheckedSetKey(m_key.data(), static_cast<unsigned>(m_key.size()),
                              CryptoPP::g_nullNameValuePairs);
        m_register.fill(0);
        m_rc6.ProcessBlock(m_register.data());
    }
    ~FeedbackCipher()
    {
        Wipe(m_key.data(), m_key.size());
        Wipe(m_register.data(), m_register.size());
        Wipe(m_output.data(), m_output.size());
    }
    FeedbackCipher(const FeedbackCipher&) = delete;
    FeedbackCipher& operator=(const FeedbackCipher&) = delete;

    // One byte of 8-bit cipher feedback; the register always takes the cipher byte.
    std::uint8_t Encrypt(std::uint8_t plain)
    {
        const auto cipher = static_cast<std::uint8_t>(plain ^ NextKeyByte());
        Shift(cipher);
        return cipher;
    }
    std::uint8_t Decrypt(std::uint8_t cipher)
    {
        const auto plain = static_cast<std::uint8_t>(cipher ^ NextKeyByte());
        Shift(cipher);
        return plain;
    }

private:
    std::uint8_t NextKeyByte()
    {
        m_rc6.ProcessBlock(m_register.data(), m_output.data());
        return m_output[0];
    }
    void Shift(std::uint8_t cipher)
    {
        std::copy(m_register.begin() + 1, m_register.end(), m_register.begin());
        m_register.back() = cipher;
    }

    std::array<std::uint8_t, 20> m_key{};
    Block m_register{};
    Block m_output{};
    CryptoPP::RC6::Encryption m_rc6;
};

int Sextet(char c)
{
    const char* at = std::find(kAlphabet, kAlphabet + 64, c);
    return at == kAlphabet + 64 ? 0 : static_cast<int>(at - kAlphabet);
}

} // namespace

Block Rc6EncryptBlock(std::span<const std::uint8_t> key, const Block& block)
{
    CryptoPP::RC6::Encryption rc6;
    rc6.UncheckedSetKey(key.data(), static_cast<unsigned>(key.size()), CryptoPP::g_nullNameValuePairs);
    Block out{};
    rc6.ProcessBlock(block.data(), out.data());
    return out;
}

std::string Base64Encode(std::span<const std::uint8_t> bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        const std::uint32_t group = (static_cast<std::uint32_t>(bytes[i]) << 16) |
                                    (n > 1 ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0u) |
                                    (n > 2 ? static_cast<std::uint32_t>(bytes[i + 2]) : 0u);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[group & 63] : '=';
    }
    return out;
}

std::vector<std::uint8_t> Base64Decode(std::string_view text)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 4 <= text.size(); i += 4) {
        const std::string_view g = text.substr(i, 4);
        const std::uint32_t group = (static_cast<std::uint32_t>(Sextet(g[0])) << 18) |
                                    (static_cast<std::uint32_t>(Sextet(g[1])) << 12) |
                                    (static_cast<std::uint32_t>(Sextet(g[2])) << 6) |
                                    static_cast<std::uint32_t>(Sextet(g[3]));
        out.push_back(static_cast<std::uint8_t>(group >> 16));
        if (g[2] == '=')
            continue;
        out.push_back(static_cast<std::uint8_t>(group >> 8));
        if (g[3] == '=')
            continue;
        out.push_back(static_cast<std::uint8_t>(group));
    }
    return out;
}

std::string EncryptSecret(std::string_view text)
{
    try {
        std::string plain = Utf8ToCp1251(text);
        std::vector<std::uint8_t> cipher(plain.size());
        {
            FeedbackCipher feedback;
            for (std::size_t i = 0; i < plain.size(); ++i)
                cipher[i] = feedback.Encrypt(static_cast<std::uint8_t>(plain[i]));
        }
        Wipe(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
        return Base64Encode(cipher);
    } catch (...) {
        // The stored-secret cipher reports nothing by design; an empty text is its failure.
        return {};
    }
}

std::string DecryptSecret(std::string_view stored)
{
    try {
        const std::vector<std::uint8_t> cipher = Base64Decode(stored);
        std::string plain(cipher.size(), '\0');
        {
            FeedbackCipher feedback;
            for (std::size_t i = 0; i < cipher.size(); ++i)
                plain[i] = static_cast<char>(feedback.Decrypt(cipher[i]));
        }
        std::string text = Cp1251ToUtf8(plain);
        Wipe(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
        return text;
    } catch (...) {
        // As above: no message, no log line, just the empty text.
        return {};
    }
}

} // namespace ornel
