// The names that the desktop shows: product name, copyright and the tray hint. Compiled
// in; the maker's addresses are not (see Contacts).
#pragma once

namespace ornel::branding
{

inline constexpr const char* kProductName = "Ornel FTP";
inline constexpr const char* kCopyright = "© 2026 ФК \"Корви\"";
inline constexpr const char* kTrayHint = "ORNEL_FTP. ФК \"Корви\"";

} // namespace ornel::branding
