// The maker's and the depository's contacts that the desktop shows (the About window, the
// status window's link, the site and mail items of the tray menu), read from a small text
// file installed with the program and overridable in the store folder. Nothing is compiled
// in: a value that is not set is not shown.
#pragma once

#include <QString>
#include <QUrl>
#include <filesystem>

namespace ornel
{

struct Contacts
{
    QString Site;              // "site": the maker's web address
    QString Mail;              // "mail": the developers' mail address
    QString SupportContact;    // "support_contact": the maker's support, a person or service
    QString SupportPhone;      // "support_phone"
    QString SupportMessenger;  // "support_messenger": an instant-messaging number
    QString DepositoryContact; // "depository_contact": the depository's support
    QString CryptPhone;        // "depository_crypt_phone": for the encryption program
    QString FtpPhone;          // "depository_ftp_phone": for the FTP server

    // UTF-8 lines "name = value"; lines starting with "#" and unknown names are skipped. A
    // file that is missing or unreadable gives no contacts at all.
    [[nodiscard]] static Contacts Read(const std::filesystem::path& file);

    // The web address as a link (https:// added when the file gives none); empty when unset.
    [[nodiscard]] QUrl SiteUrl() const;
    // A new mail message to the developers; empty when unset.
    [[nodiscard]] QUrl MailUrl() const;
};

} // namespace ornel
