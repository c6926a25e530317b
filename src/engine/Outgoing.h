// The outgoing transfer: uploads the encrypted files waiting in TempSend into the server
// directory FtpIn, one by one, with an archive copy of each. Owned by ExchangeCycle; runs on
// the UI thread on a connection the cycle has opened.
#pragma once

#include <filesystem>
#include <string>

namespace ornel
{

class Counters;
class ExchangeBatch;
class FileMoves;
class FolderLayout;
class FtpClient;
struct EngineContext;
struct TransferState;

// Climbs back from a server directory `depth` levels deep with as many ChangeDirUp calls; used
// by both halves of the cycle.
void LeaveFtpDir(FtpClient& ftp, int depth);

class Outgoing
{
public:
    Outgoing(EngineContext& ctx, FolderLayout& layout, FileMoves& moves, Counters& counters,
             TransferState& state);

    // Returns the number of files uploaded. A failed upload is logged and thrown on; the file
    // stays in TempSend for the next cycle. Works in batches: an uploaded file is deleted
    // once its batch's archive copies are on the disk and its journal records committed.
    int SendFiles();
    // Removes the server's leftover ".in." + name + "." of an earlier, broken upload. Never
    // throws for the listing or the deletion.
    void DeleteRemoteTemp(const std::string& name);
    // Climbs back from a server directory `depth` levels deep.
    void LeaveFtpDir(int depth);

private:
    void SendOne(const std::string& name, const std::filesystem::path& file, ExchangeBatch& batch);
    void LogError(const std::string& message);

    EngineContext& m_ctx;
    FolderLayout& m_layout;
    FileMoves& m_moves;
    Counters& m_counters;
    TransferState& m_state;
};

} // namespace ornel
