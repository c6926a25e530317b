// The maker's names and addresses that the desktop shows: product name, copyright, web
// site and mail address behind the logo, the link label and the menu. Compiled in.
#pragma once

namespace ornel::branding
{

inline constexpr const char* kProductName = "Ornel FTP";
inline constexpr const char* kCopyright = "© 2026 ФК \"Корви\"";
inline constexpr const char* kTrayHint = "ORNEL_FTP. ФК \"Корви\"";
// Placeholder addresses in a reserved domain until the maker's own are filled in.
inline constexpr const char* kSiteAddress = "www.korvi.example";
inline constexpr const char* kSiteUrl = "https://www.korvi.example/";
inline constexpr const char* kMailUrl = "mailto:support@korvi.example?subject=Ornel%20FTP";

} // namespace ornel::branding
