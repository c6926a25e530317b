// What the two halves of an exchange cycle and the cycle itself share while a cycle runs:
// the file in transfer, the progress bar's range, the stop request and whether an error
// line was written. Owned by ExchangeCycle; UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace ornel
{

struct TransferState
{
    // Name of the file being uploaded or downloaded; empty between files.
    std::string CurrentFile;
    // Range last given to the progress bar; progress reports beyond it show 0.
    std::int64_t ProgressMax = 0;
    // Set by RequestStop (an exit asked for during the cycle); the loops end at the next
    // point between two files.
    bool StopRequested = false;
    // An "Ошибка: " line was written during the current cycle.
    bool ErrorLogged = false;
    // The server refused a listing by a wildcard mask for good; it is then asked for whole
    // listings also where a plain name is refused (see ServerListing).
    bool ServerRefusesMasks = false;
};

} // namespace ornel
