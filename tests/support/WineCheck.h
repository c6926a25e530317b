// Whether the tests run under Wine, whose known gaps some tests skip by name.
#pragma once

namespace ornel::test
{

[[nodiscard]] bool RunningUnderWine();

} // namespace ornel::test
