// The references every engine operation works with. TFMain builds one at start-up and
// keeps it alive for the program's life; engine components hold it by reference.
#pragma once

namespace ornel {

class Clock;
class Desktop;
class EventLog;
class EventLoop;
class FtpClient;
class Journal;
class RegistryStore;
class SoundPlayer;
struct RuntimeSettings;

struct EngineContext
{
    RuntimeSettings& settings;
    EventLog& log;
    Journal& journal;
    FtpClient& ftp;
    Desktop& desktop;
    EventLoop& loop;
    const Clock& clock;
    RegistryStore& registry;
    SoundPlayer& sound;
};

} // namespace ornel
