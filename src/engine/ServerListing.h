// The server directory listings as both transfer halves read them: a listing asked for with a
// file mask, matched by the agent itself where the server refuses the mask, and the names a
// detailed listing shows as folders. Stateless; called on the UI thread during a cycle.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace ornel
{

class FtpClient;

class ServerListing
{
public:
    // Lists the entries of the server's current directory that match `mask` (names only, or
    // detailed lines). The mask goes to the server first. A server that refuses a wildcard
    // mask with a permanent reply (5xx) is asked for its whole directory, and of that the
    // lines whose names match the mask are kept (a detailed line whose name cannot be read
    // too, so that no file is missed); `refusesMasks` is then set. A plain name refused for
    // good is taken as not there, as most servers answer so for a missing name, unless
    // `refusesMasks` says that this server lists nothing by name. Errors of the listing reach
    // the caller; `lines` is replaced on success only.
    static void ListMasked(FtpClient& ftp, std::vector<std::string>& lines, const std::string& mask,
                           bool details, bool& refusesMasks);

    // Whether `mask` holds a "*", "?" or "[" and so names more than itself.
    [[nodiscard]] static bool HasWildcards(const std::string& mask);

    // A server-side file mask as Unix servers apply it: "*" any run of characters, "?" one
    // character, "[...]" one of a set ("[!...]" or "[^...]" none of it, "a-z" ranges); other
    // characters stand for themselves, letter case counts. A name that starts with a dot is
    // matched only by a mask that starts with one, so "*.*" needs a dot inside the name.
    // Characters are compared in Windows-1251, the server's own code page.
    [[nodiscard]] static bool MatchesMask(const std::string& name, const std::string& mask);

    // The name in one line of a Unix-style detailed listing ("drwxr-xr-x 2 u g 4096 Jan 1 00:00
    // name"), with blanks inside and at the end kept; empty when the line has no such form.
    [[nodiscard]] static std::string EntryName(const std::string& line);

    // The names of the lines that describe folders (first character "d").
    [[nodiscard]] static std::set<std::string> FolderNames(const std::vector<std::string>& lines);

    // A reply that refuses for good (5xx): asking again the same way gets the same answer.
    [[nodiscard]] static bool IsPermanentRefusal(int replyCode)
    {
        return replyCode >= 500 && replyCode <= 599;
    }
};

} // namespace ornel
