// A folder watcher for tests of the core: it is active only on an existing folder, as the
// real one, and reports a change when the test calls Change().
#pragma once

#include "platform/FolderWatcher.h"

#include <filesystem>
#include <functional>

namespace ornel::test {

class FakeFolderWatcher final : public FolderWatcher
{
public:
    void SetFolderName(const std::filesystem::path& folder) override
    {
        m_folder = folder;
        if (m_active) {
            m_active = false;
            SetActive(true);
        }
    }
    [[nodiscard]] std::filesystem::path FolderName() const override { return m_folder; }
    void SetFilter(WatchFilter filter) override { m_filter = filter; }
    void SetMonitorSubtree(bool subtree) override { m_subtree = subtree; }
    void SetActive(bool active) override
    {
        if (!active) {
            m_active = false;
            return;
        }
        std::error_code ec;
        m_active = !m_folder.empty() && std::filesystem::is_directory(m_folder, ec);
        if (m_active) {
            ++m_activations;
        }
    }
    [[nodiscard]] bool Active() const override { return m_active; }
    void SetOnChange(std::function<void()> onChange) override { m_onChange = std::move(onChange); }

    // A notice from the system: the handler runs only while the watcher is active.
    void Change()
    {
        if (m_active && m_onChange) {
            m_onChange();
        }
    }
    [[nodiscard]] int Activations() const { return m_activations; }
    [[nodiscard]] WatchFilter Filter() const { return m_filter; }
    [[nodiscard]] bool Subtree() const { return m_subtree; }

private:
    std::filesystem::path m_folder;
    WatchFilter m_filter = WatchFilter::Size;
    bool m_subtree = true;
    bool m_active = false;
    int m_activations = 0;
    std::function<void()> m_onChange;
};

} // namespace ornel::test
