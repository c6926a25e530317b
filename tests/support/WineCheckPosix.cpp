#include "support/WineCheck.h"

namespace ornel::test
{

bool RunningUnderWine()
{
    return false;
}

} // namespace ornel::test
