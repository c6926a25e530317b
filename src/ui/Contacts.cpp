#include "ui/Contacts.h"

#include <QFile>
#include <QTextStream>
#include <QUrlQuery>

namespace ornel
{

Contacts Contacts::Read(const std::filesystem::path& file)
{
    Contacts contacts;
    QFile input(QString::fromStdString(file.string()));
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return contacts;
    }
    QString* const fields[] = {&contacts.Site,
                               &contacts.Mail,
                               &contacts.SupportContact,
                               &contacts.SupportPhone,
                               &contacts.SupportMessenger,
                               &contacts.DepositoryContact,
                               &contacts.CryptPhone,
                               &contacts.FtpPhone};
    const char* const names[] = {"site",
                                 "mail",
                                 "support_contact",
                                 "support_phone",
                                 "support_messenger",
                                 "depository_contact",
                                 "depository_crypt_phone",
                                 "depository_ftp_phone"};
    QTextStream stream(&input);
    stream.setEncoding(QStringConverter::Utf8);
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'#') || equals <= 0) {
            continue;
        }
        const QString name = line.left(equals).trimmed().toLower();
        for (std::size_t i = 0; i < std::size(names); ++i) {
            if (name == QLatin1String(names[i])) {
                *fields[i] = line.mid(equals + 1).trimmed();
            }
        }
    }
    return contacts;
}

QUrl Contacts::SiteUrl() const
{
    if (Site.isEmpty()) {
        return {};
    }
    return QUrl(Site.contains(QStringLiteral("://")) ? Site : QStringLiteral("https://") + Site);
}

QUrl Contacts::MailUrl() const
{
    if (Mail.isEmpty()) {
        return {};
    }
    QUrl url(QStringLiteral("mailto:") + Mail);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Ornel FTP"));
    url.setQuery(query);
    return url;
}

} // namespace ornel
