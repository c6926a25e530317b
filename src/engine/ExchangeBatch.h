// One batch of the exchange's files: the journal's transaction, the transfer counters, the
// copies and downloads made durable together, and the steps that must wait until all of
// that is on the disk (moving deliveries, deleting sources, deleting files on the server).
// Paying the flushes once per batch instead of once per file is what lets many small files
// go as fast as the network carries them. Bounded in files, bytes and seconds, so a crash
// only ever costs a few seconds of work, which the next cycle does again. Made by the loops
// of FileMoves, CryptCall, Outgoing and Incoming; UI thread only, though its copies, the
// flushes of its files and of its journal transaction run wherever the FTP client runs its
// network operations.
#pragma once

#include "platform/FileBatch.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ornel
{

class Counters;
struct EngineContext;

class ExchangeBatch
{
public:
    static constexpr std::size_t kMaxFiles = 512;
    static constexpr std::int64_t kMaxBytes = 64 << 20;
    static constexpr std::chrono::seconds kMaxDuration{2};

    using Needs = std::vector<FileBatch::Item>;

    // Opens the journal's batch; `counters` (when given) holds its counts until the commit.
    explicit ExchangeBatch(EngineContext& ctx, Counters* counters = nullptr);
    // A batch left unfinished (its finishing failed) keeps nothing: its journal records are
    // rolled back and its copies and downloads that have no name yet vanish.
    ~ExchangeBatch();
    ExchangeBatch(const ExchangeBatch&) = delete;
    ExchangeBatch& operator=(const ExchangeBatch&) = delete;

    [[nodiscard]] FileBatch& Files() { return m_files; }
    // FileBatch's StageCopy and StageMove, run where the batch's flushes run: a copy of a
    // large file takes as long as its transfer.
    [[nodiscard]] std::optional<FileBatch::Item> StageCopy(const std::filesystem::path& source,
                                                           const std::filesystem::path& target);
    [[nodiscard]] FileBatch::Moved StageMove(const std::filesystem::path& source,
                                             const std::filesystem::path& target,
                                             std::optional<FileBatch::Item>& copy);
    // One more file of work in this batch, for the bounds.
    void AddWork(std::int64_t bytes);
    // The batch has reached one of its bounds: time to finish it and begin the next.
    [[nodiscard]] bool Full() const;

    // Deletes `source` once the batch is committed, when every item of `needs` got its name.
    void DeleteAfterCommit(const std::filesystem::path& source, Needs needs = {});
    // Runs `step` once the batch is committed and its sources are deleted, when every item of
    // `needs` got its name. Steps run in the order given and report their own failures.
    void AfterCommit(std::function<void()> step, Needs needs = {});
    // An item whose missing name is an error: Finish() ends by throwing `message` when it got
    // none (with the reason unless `withReason` is off). Other items that get no name only
    // hold back what needs them.
    void RequireNamed(FileBatch::Item item, std::string message, bool withReason = true);

    // The batch's copies and downloads on the disk with their names and folders, then the
    // counters, then the journal's commit, then the moves, the deletions and the other
    // steps. Throws when the files cannot be made durable (the journal's batch is then rolled
    // back and nothing is moved or deleted), when the commit fails (nothing is moved or
    // deleted) or, after all the rest, when a required item got no name or the counters
    // could not be written. Runs once.
    void Finish();
    // Finish() and a fresh batch after it.
    void Restart();
    // Finish() on the way out of a loop that an error ends: what the batch holds is finished
    // (the files before the failing one count as done); an error of the finishing itself is
    // logged, as the loop's own error is the one that goes on.
    void FinishAfterError() noexcept;

private:
    struct Deferred
    {
        Needs Items;
        std::filesystem::path Source; // a deletion, or
        std::function<void()> Step;   // another step
    };
    struct Required
    {
        FileBatch::Item Item;
        std::string Message;
        bool WithReason;
    };

    void Begin();
    [[nodiscard]] bool AllNamed(const Needs& needs) const;

    EngineContext& m_ctx;
    Counters* m_counters;
    FileBatch m_files;
    std::vector<Deferred> m_deferred;
    std::vector<Required> m_required;
    std::size_t m_work = 0;
    std::int64_t m_bytes = 0;
    std::chrono::steady_clock::time_point m_started;
    bool m_finished = false;
};

} // namespace ornel
