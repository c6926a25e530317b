#include "engine/Counters.h"

#include "engine/EngineContext.h"
#include "platform/RegistryStore.h"

namespace ornel
{

Counters::Counters(EngineContext& ctx)
    : m_registry(ctx.registry)
{}

Counters::Counters(RegistryStore& registry)
    : m_registry(registry)
{}

void Counters::CountSent(std::int64_t size)
{
    Count("FileSendCount", "FileSendSize", size);
}

void Counters::CountReceived(std::int64_t size)
{
    Count("FileReciveCount", "FileReciveSize", size);
}

void Counters::Count(const char* countName, const char* sizeName, std::int64_t size)
{
    // Count and size are written as one change of the store, so a crash between the two
    // never leaves a file counted without its kilobytes.
    RegistryBatch batch(m_registry, Hive::LocalMachine);
    RegistryKey key = m_registry.OpenKey(Hive::LocalMachine, kKey);
    const std::int32_t count = key.ReadIntegerIfPresent(countName).value_or(0);
    const double kilobytes = key.ReadFloatIfPresent(sizeName).value_or(0.0);
    // The stored count is a 32-bit value that wraps to the negative range.
    const auto next = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) + 1u);
    key.WriteInteger(countName, next);
    key.WriteFloat(sizeName, static_cast<double>(size) / 1024.0 + kilobytes);
    batch.Commit();
}

TransferTotals Counters::Read() const
{
    RegistryKey key = m_registry.OpenKey(Hive::LocalMachine, kKey);
    TransferTotals totals;
    totals.FileSendCount = key.ReadIntegerIfPresent("FileSendCount").value_or(0);
    totals.FileSendSize = key.ReadFloatIfPresent("FileSendSize").value_or(0.0);
    totals.FileReciveCount = key.ReadIntegerIfPresent("FileReciveCount").value_or(0);
    totals.FileReciveSize = key.ReadFloatIfPresent("FileReciveSize").value_or(0.0);
    return totals;
}

} // namespace ornel
