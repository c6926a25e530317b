// The About window: product name, version and copyright compiled in, the support
// contacts, and the transfer counters read afresh each time the window is activated.
// Created for one modal showing from the tray menu; UI thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>
#include <functional>

namespace ornel
{

class RegistryStore;
struct Contacts;

class TFAbout final : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* kCounterKey = "SOFTWARE\\RUX\\ORNEL_FTP";

    // `registry` may be null: the counters then show zero. A support group shows only the
    // contacts that are set, and is left out when none is.
    explicit TFAbout(RegistryStore* registry, QWidget* parent = nullptr);
    TFAbout(RegistryStore* registry, const Contacts& contacts, QWidget* parent = nullptr);

    // "12 (1536,50 Кб)": the count, the kilobytes with two decimals and a decimal comma.
    [[nodiscard]] static QString CounterText(int count, double kilobytes);

    // Fills every text; runs at each activation. A counter of the wrong kind is reported
    // in an error box once (not again at the reactivation that closing the box causes).
    void FormActivate();
    // Replaces the error box (tests record instead).
    void SetErrorBox(std::function<void(const QString&)> showError) { m_showError = std::move(showError); }

    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* LSend = nullptr;
    QLabel* LRecive = nullptr;

protected:
    bool event(QEvent* event) override;

private:
    RegistryStore* m_registry;
    std::function<void(const QString&)> m_showError;
    QString m_lastError;
    bool m_filling = false;
};

} // namespace ornel
