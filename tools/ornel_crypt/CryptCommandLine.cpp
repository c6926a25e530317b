#include "CryptCommandLine.h"

#include "platform/PathText.h"

#include <array>
#include <string_view>

namespace ornel::crypt
{

namespace
{

constexpr std::array<std::string_view, 9> kOptions = {"-T", "-R", "-I", "-O", "-W", "-P", "-PU", "-E", "-M"};

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool IsOption(const std::string& arg)
{
    const std::string upper = Upper(arg);
    for (auto o : kOptions) {
        if (upper == o) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<CryptOptions> ParseCommandLine(const std::vector<std::string>& args, std::string& error)
{
    CryptOptions options;
    bool haveMode = false;
    std::string input;
    for (std::size_t i = 0; i < args.size();) {
        const std::string option = Upper(args[i]);
        if (!IsOption(args[i])) {
            error = "Неизвестный параметр: " + args[i];
            return std::nullopt;
        }
        ++i;
        std::string value;
        while (i < args.size() && !IsOption(args[i])) {
            value += value.empty() ? args[i] : " " + args[i];
            ++i;
        }
        if (option == "-T" || option == "-R") {
            options.Direction = option == "-T" ? Mode::Encrypt : Mode::Decrypt;
            haveMode = true;
        } else if (option == "-I") {
            input = value;
        } else if (option == "-O") {
            options.OutputFolder = value;
        } else if (option == "-W") {
            options.Code = value;
        } else if (option == "-P") {
            options.Pin = value;
        } else if (option == "-PU") {
            options.TokenPin = value;
        } else if (option == "-E") {
            options.PostBox = value;
        } else {
            options.LogFile = value;
        }
    }
    if (!haveMode) {
        error = "Не задан режим: -T (шифрование) или -R (расшифровка)";
        return std::nullopt;
    }
    if (input.empty() || options.OutputFolder.empty()) {
        error = "Не заданы входная маска -I или выходная папка -O";
        return std::nullopt;
    }
    // "-I folder\*.*" from a Windows caller, "-I folder/*.*" from ours: either delimiter.
    const auto slash = LastPathDelim(input);
    if (slash == std::string::npos) {
        options.InputFolder = ".";
        options.InputMask = input;
    } else {
        options.InputFolder = slash == 0 ? input.substr(0, 1) : input.substr(0, slash);
        options.InputMask = input.substr(slash + 1);
    }
    if (options.InputMask.empty()) {
        options.InputMask = "*.*";
    }
    return options;
}

} // namespace ornel::crypt
