// A FolderWatcher for monitoring tests that records every switch: it "watches" only while
// its folder is said to exist, can refuse to start, and reports a change on Fire().
#pragma once

#include "platform/FolderWatcher.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace ornel::test
{

class RecordingWatcher final : public FolderWatcher
{
public:
    void SetFolderName(const std::filesystem::path& folder) override { Folder = folder; }
    [[nodiscard]] std::filesystem::path FolderName() const override { return Folder; }
    void SetFilter(WatchFilter filter) override { Filter = filter; }
    void SetMonitorSubtree(bool subtree) override { Subtree = subtree; }
    void SetActive(bool active) override
    {
        Switches.push_back(active);
        if (active && !IsActive && Refuse) {
            throw std::runtime_error("System Error.  Code: 28.\r\nNo space left on device");
        }
        IsActive = active && FolderExists;
    }
    [[nodiscard]] bool Active() const override { return IsActive; }
    void SetOnChange(std::function<void()> onChange) override { OnChange = std::move(onChange); }

    // A change notice, delivered only while active (as the real watcher does).
    void Fire()
    {
        if (IsActive && OnChange) {
            OnChange();
        }
    }

    std::filesystem::path Folder;
    WatchFilter Filter = WatchFilter::FileName;
    bool Subtree = false;
    bool IsActive = false;
    bool FolderExists = true;
    bool Refuse = false;
    std::vector<bool> Switches;
    std::function<void()> OnChange;
};

} // namespace ornel::test
