// The parts of the file functions that are the same on every system: masks, and a copy as
// a batch of one file.
#include "platform/FileBatch.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <random>
#include <vector>

namespace ornel
{

namespace
{

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchFrom(std::string_view name, std::string_view mask)
{
    // Iterative wildcard match with one back-tracking point for the last "*".
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

} // namespace

std::vector<FileEntry> ListFolderFiles(const std::filesystem::path& folder)
{
    auto entries = ListFolder(folder);
    std::erase_if(entries, [](const FileEntry& e) { return e.Directory; });
    return entries;
}

bool MatchesMask(std::string_view name, std::string_view mask)
{
    if (mask == "*.*" || mask == "*") {
        return true;
    }
    return MatchFrom(name, mask);
}

bool CopyFileNoReplace(const std::filesystem::path& source, const std::filesystem::path& target,
                       std::string* error, const CopyProgress& progress)
{
    // A batch of one: the copy's own flush, its name, its folder's flush.
    FileBatch batch;
    const auto item = batch.StageCopy(source, target, error, progress);
    if (!item) {
        return false;
    }
    try {
        batch.Place();
    } catch (const std::exception& e) {
        SetError(error, e.what());
        return false;
    }
    if (!batch.Placed(*item)) {
        SetError(error, batch.Failure(*item));
        return false;
    }
    return true;
}

bool SameFileContent(const std::filesystem::path& first, const std::filesystem::path& second)
{
    const auto firstSize = FileSize(first);
    if (!firstSize || firstSize != FileSize(second)) {
        return false;
    }
    struct Closer
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, Closer> a(OpenCFile(first, "rb"));
    const std::unique_ptr<std::FILE, Closer> b(OpenCFile(second, "rb"));
    if (!a || !b) {
        return false;
    }
    std::vector<char> left(64 * 1024);
    std::vector<char> right(left.size());
    for (;;) {
        const std::size_t got = std::fread(left.data(), 1, left.size(), a.get());
        if (std::fread(right.data(), 1, right.size(), b.get()) != got ||
            std::memcmp(left.data(), right.data(), got) != 0) {
            return false;
        }
        if (got < left.size()) { // the end of both, or a read error
            return std::ferror(a.get()) == 0 && std::ferror(b.get()) == 0;
        }
    }
}

std::filesystem::path PartialName(const std::filesystem::path& folder)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    return (folder.empty() ? std::filesystem::path(".") : folder) /
           PathFromUtf8(std::string(kPartialPrefix) + suffix);
}

} // namespace ornel
