// The running transfer totals in the registry: files and kilobytes sent and received since
// installation. Owned by TFMain; UI thread only (the About window only reads).
#pragma once

#include <cstdint>

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
    void CountSent(std::int64_t size);
    void CountReceived(std::int64_t size);

    [[nodiscard]] TransferTotals Read() const;

private:
    void Count(const char* countName, const char* sizeName, std::int64_t size);

    RegistryStore& m_registry;
};

} // namespace ornel
