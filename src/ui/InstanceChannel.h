// The local socket through which a second start of the tray application asks the running
// one (the holder of the store's lock) to bring its status window forward. The running
// application owns one listening instance; UI thread only.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <chrono>
#include <filesystem>

namespace ornel
{

class InstanceChannel final : public QObject
{
    Q_OBJECT

public:
    explicit InstanceChannel(QObject* parent = nullptr);

    // Listens for requests of later starts on this store. Only the lock's holder may call it:
    // a socket file left by an agent that died is removed first. False when listening fails
    // (the agent then runs without it).
    bool Listen(const std::filesystem::path& storeFolder);

    // From the second process: true once the running tray application has answered that
    // its status window is shown; false when none answers within `wait`.
    [[nodiscard]] static bool RequestShowStatus(const std::filesystem::path& storeFolder,
                                                std::chrono::milliseconds wait);

    // Where the channel of a store listens: a socket file in the store folder, or one in
    // the temporary folder named after the store when that path would be too long.
    [[nodiscard]] static QString Address(const std::filesystem::path& storeFolder);

signals:
    void ShowStatusRequested();

private:
    void Serve();

    QLocalServer m_server;
};

} // namespace ornel
