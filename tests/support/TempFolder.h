// A fresh folder under the system temp folder, removed with everything in it at the end
// of the test.
#pragma once

#include "platform/PathText.h"

#include <filesystem>
#include <string>
#include <vector>

namespace ornel::test {

class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return m_path; }
    // `name` is UTF-8, as every text of the program.
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const
    {
        return m_path / PathFromUtf8(name);
    }

private:
    std::filesystem::path m_path;
};

// Small file helpers for tests.
void WriteFile(const std::filesystem::path& file, const std::string& content);
[[nodiscard]] std::string ReadFile(const std::filesystem::path& file);
// The names in a folder, sorted.
[[nodiscard]] std::vector<std::string> FolderNames(const std::filesystem::path& folder);

} // namespace ornel::test
