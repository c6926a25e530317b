// A dialog on a fake target with a store in a temp folder, and the helpers the dialog's
// tests share: fields by component name, the store's key and file.
#pragma once

#include "FakeOptionsTarget.h"
#include "support/TempFolder.h"
#include "ui/options/TFOptions.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace ornel::test
{

inline constexpr const char* kOptionsKey = "SOFTWARE\\RUX\\ORNEL_FTP\\Options";

struct OptionsFixture : ::testing::Test
{
    OptionsFixture()
        : target(folder / "registry")
    {}

    // Shown, loaded, and the window's events handled.
    TFOptions& Open()
    {
        dialog = std::make_unique<TFOptions>(target);
        dialog->show();
        dialog->activateWindow();
        QApplication::processEvents();
        return *dialog;
    }

    template <typename W> W& Field(const char* name)
    {
        W* widget = dialog->findChild<W*>(QString::fromLatin1(name));
        if (!widget) {
            throw std::logic_error(std::string("no field ") + name);
        }
        return *widget;
    }

    RegistryKey Key() { return target.Registry().OpenKey(Hive::LocalMachine, kOptionsKey); }
    std::string StoreText() { return ReadFile(target.Registry().HiveFile(Hive::LocalMachine)); }

    TempFolder folder;
    FakeOptionsTarget target;
    std::unique_ptr<TFOptions> dialog;
};

} // namespace ornel::test
