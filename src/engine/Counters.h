// The running transfer totals in the registry: files and kilobytes sent and received since
// installation. Owned by TFMain; UI thread only (the About window only reads).
#pragma once

#include <cstdint>
#include <vector>

namespace ornel
{

struct EngineContext;
class RegistryStore;

struct TransferTotals
{
    std::int32_t FileSendCount = 0;
    double FileSendSize = 0;
    std::int32_t FileReciveCount = 0;
    double FileReciveSize = 0;
};

class Counters
{
public:
    static constexpr const char* kKey = "\\SOFTWARE\\RUX\\ORNEL_FTP";

    explicit Counters(EngineContext& ctx);
    explicit Counters(RegistryStore& registry);

    // One call per file, before its transfer. Registry errors are thrown to the caller.
    // Inside a batch the count is held and written with the batch's others.
    void CountSent(std::int64_t size);
    void CountReceived(std::int64_t size);

    // A batch of files: the counts from BeginBatch() on are written by FlushBatch() in one
    // change of the store, added file by file as single calls would add them (the totals
    // come out the same to the last bit). FlushBatch throws the store's error and then keeps
    // the counts for the next flush.
    void BeginBatch();
    void FlushBatch();

    // The totals in the store (counts held by an open batch are not in them yet).
    [[nodiscard]] TransferTotals Read() const;

private:
    struct Held
    {
        std::vector<std::int64_t> Sent;
        std::vector<std::int64_t> Received;
    };

    void Count(std::vector<std::int64_t>& held, std::int64_t size);
    void Write(const Held& held);

    RegistryStore& m_registry;
    bool m_inBatch = false;
    Held m_held;
};

} // namespace ornel
