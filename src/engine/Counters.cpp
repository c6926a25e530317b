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
    Count(m_held.Sent, size);
}

void Counters::CountReceived(std::int64_t size)
{
    Count(m_held.Received, size);
}

void Counters::Count(std::vector<std::int64_t>& held, std::int64_t size)
{
    held.push_back(size);
    if (m_inBatch) {
        return;
    }
    try {
        FlushBatch();
    } catch (...) {
        // A single count that cannot be written ends the transfer before it starts; the file
        // is counted at its next attempt.
        held.pop_back();
        throw;
    }
}

void Counters::BeginBatch()
{
    m_inBatch = true;
}

void Counters::FlushBatch()
{
    m_inBatch = false;
    if (m_held.Sent.empty() && m_held.Received.empty()) {
        return;
    }
    Write(m_held);
    m_held = Held{};
}

namespace
{

void Add(RegistryKey& key, const char* countName, const char* sizeName,
         const std::vector<std::int64_t>& sizes)
{
    if (sizes.empty()) {
        return;
    }
    std::int32_t count = key.ReadIntegerIfPresent(countName).value_or(0);
    double kilobytes = key.ReadFloatIfPresent(sizeName).value_or(0.0);
    for (const std::int64_t size : sizes) {
        // The stored count is a 32-bit value that wraps to the negative range.
        count = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) + 1u);
        kilobytes = static_cast<double>(size) / 1024.0 + kilobytes;
    }
    key.WriteInteger(countName, count);
    key.WriteFloat(sizeName, kilobytes);
}

} // namespace

void Counters::Write(const Held& held)
{
    // Counts and sizes are written as one change of the store, so a crash never leaves a
    // file counted without its kilobytes, and a batch costs one replacement of the file.
    RegistryBatch batch(m_registry, Hive::LocalMachine);
    RegistryKey key = m_registry.OpenKey(Hive::LocalMachine, kKey);
    Add(key, "FileSendCount", "FileSendSize", held.Sent);
    Add(key, "FileReciveCount", "FileReciveSize", held.Received);
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
