#include "engine/ExchangeBatch.h"

#include "engine/Counters.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/CrashPoint.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace ornel
{

ExchangeBatch::ExchangeBatch(EngineContext& ctx, Counters* counters)
    : m_ctx(ctx)
    , m_counters(counters)
{
    Begin();
}

ExchangeBatch::~ExchangeBatch()
{
    if (!m_finished) {
        m_ctx.journal.RollbackBatch();
    }
}

void ExchangeBatch::Begin()
{
    m_files = FileBatch();
    m_deferred.clear();
    m_required.clear();
    m_work = 0;
    m_bytes = 0;
    m_started = std::chrono::steady_clock::now();
    m_finished = false;
    m_ctx.journal.BeginBatch();
    if (m_counters != nullptr) {
        m_counters->BeginBatch();
    }
}

void ExchangeBatch::AddWork(std::int64_t bytes)
{
    ++m_work;
    m_bytes += bytes > 0 ? bytes : 0;
}

bool ExchangeBatch::Full() const
{
    return m_work >= kMaxFiles || m_files.Files() >= std::min(2 * kMaxFiles, FileBatch::MostFiles()) ||
           m_bytes >= kMaxBytes || m_files.Bytes() >= kMaxBytes ||
           std::chrono::steady_clock::now() - m_started >= kMaxDuration;
}

std::optional<FileBatch::Item> ExchangeBatch::StageCopy(const std::filesystem::path& source,
                                                        const std::filesystem::path& target)
{
    std::optional<FileBatch::Item> item;
    m_ctx.ftp.RunOnCallThread([&] { item = m_files.StageCopy(source, target); });
    return item;
}

FileBatch::Moved ExchangeBatch::StageMove(const std::filesystem::path& source,
                                          const std::filesystem::path& target,
                                          std::optional<FileBatch::Item>& copy)
{
    FileBatch::Moved moved = FileBatch::Moved::Failed;
    m_ctx.ftp.RunOnCallThread([&] { moved = m_files.StageMove(source, target, copy); });
    return moved;
}

void ExchangeBatch::DeleteAfterCommit(const std::filesystem::path& source, Needs needs)
{
    m_deferred.push_back(Deferred{std::move(needs), source, {}});
}

void ExchangeBatch::AfterCommit(std::function<void()> step, Needs needs)
{
    m_deferred.push_back(Deferred{std::move(needs), {}, std::move(step)});
}

void ExchangeBatch::RequireNamed(FileBatch::Item item, std::string message, bool withReason)
{
    m_required.push_back(Required{item, std::move(message), withReason});
}

bool ExchangeBatch::AllNamed(const Needs& needs) const
{
    for (const FileBatch::Item item : needs) {
        if (!m_files.Placed(item)) {
            return false;
        }
    }
    return true;
}

void ExchangeBatch::Finish()
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    std::exception_ptr countersFailure;
    const auto flushCounters = [&] {
        if (m_counters != nullptr) {
            try {
                m_counters->FlushBatch();
            } catch (...) {
                countersFailure = std::current_exception();
            }
        }
    };
    // Data on the disk before its name, names before the journal says they are there. In the
    // tray application the flushes run on the FTP client's thread: the cycle waits here, and
    // the events the window serves meanwhile start no other work on these files.
    try {
        m_ctx.ftp.RunOnCallThread([this] { m_files.Place(); });
    } catch (const std::exception& e) {
        // The files are counted all the same, as they are before any transfer.
        flushCounters();
        m_ctx.journal.RollbackBatch();
        throw std::runtime_error(std::string("Файлы не записаны на диск: ") + e.what());
    }
    // Counted before the commit: a crash in between counts a file that is then done again,
    // as a failed transfer is counted again, but never loses a count of finished work.
    flushCounters();
    // Nothing irreversible happens unless the journal holds the batch: when the commit
    // fails, the sources stay, the server keeps its files, and the next cycle does this work
    // again.
    m_ctx.journal.CommitBatch();
    CrashPoint("batch-committed");
    for (const Deferred& d : m_deferred) {
        if (!d.Source.empty() && AllNamed(d.Items)) {
            m_files.DeleteLater(d.Source);
        }
    }
    // A source that cannot be deleted is taken up again by the next cycle.
    m_ctx.ftp.RunOnCallThread([this] { (void)m_files.DeleteSources(); });
    for (const Deferred& d : m_deferred) {
        if (d.Step && AllNamed(d.Items)) {
            d.Step();
        }
    }
    m_deferred.clear();
    for (const Required& r : m_required) {
        if (!m_files.Placed(r.Item)) {
            throw std::runtime_error(r.WithReason ? r.Message + ": " + m_files.Failure(r.Item) : r.Message);
        }
    }
    if (countersFailure) {
        std::rethrow_exception(countersFailure);
    }
}

void ExchangeBatch::Restart()
{
    Finish();
    Begin();
}

void ExchangeBatch::FinishAfterError() noexcept
{
    try {
        Finish();
    } catch (const std::exception& e) {
        try {
            m_ctx.log.AddLog(std::string("Ошибка: ") + e.what());
        } catch (const std::exception&) {
            // the log is failing too; the loop's own error still reaches the cycle
        }
    }
}

} // namespace ornel
