#include "ui/TFAbout.h"

#include "platform/RegistryStore.h"
#include "ui/Branding.h"
#include "ui/Contacts.h"
#include "ui/ImageLists.h"
#include "ui/WindowGeometry.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

namespace ornel
{

namespace
{

constexpr QSize kClientSize(408, 358);

QLabel* Sunken(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setContentsMargins(4, 1, 4, 1);
    label->setMinimumWidth(170);
    return label;
}

// A support group: the contact line and then label / number pairs in two columns, each
// only when it is set; null when nothing of the group is set.
QGroupBox* SupportGroup(QWidget* parent, const char* title, const QString& contact,
                        std::initializer_list<std::pair<const char*, QString>> numbers)
{
    bool any = !contact.isEmpty();
    for (const auto& [label, number] : numbers) {
        any = any || !number.isEmpty();
    }
    if (!any) {
        return nullptr;
    }
    auto* box = new QGroupBox(QString::fromUtf8(title), parent);
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setVerticalSpacing(0);
    layout->setHorizontalSpacing(8);
    int row = 0;
    if (!contact.isEmpty()) {
        auto* person = new QLabel(contact, box);
        person->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(person, row++, 0, 1, 2);
    }
    for (const auto& [label, number] : numbers) {
        if (number.isEmpty()) {
            continue;
        }
        layout->addWidget(new QLabel(QString::fromUtf8(label), box), row, 0);
        auto* value = new QLabel(number, box);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(value, row, 1);
        ++row;
    }
    layout->setColumnStretch(1, 1);
    // The same first column in every group, so that the numbers line up.
    layout->setColumnMinimumWidth(0,
                                  box->fontMetrics().horizontalAdvance(QString::fromUtf8("Шифрование:")) + 4);
    return box;
}

} // namespace

TFAbout::TFAbout(RegistryStore* registry, QWidget* parent)
    : TFAbout(registry, Contacts{}, parent)
{}

TFAbout::TFAbout(RegistryStore* registry, const Contacts& contacts, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_registry(registry)
    , m_showError([this](const QString& message) {
        QMessageBox::critical(this, QString::fromUtf8("Ошибка"), message);
    })
{
    setWindowTitle(QString::fromUtf8("О программе"));
    setWindowIcon(ImageLists::TrayFrame(0));

    auto* outer = new QVBoxLayout(this);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(panel, 1);

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setVerticalSpacing(6);
    grid->setHorizontalSpacing(10);
    ProgramIcon = new QLabel(panel);
    ProgramIcon->setFixedSize(66, 92);
    ProgramIcon->setPixmap(ImageLists::Program(QSize(66, 92), devicePixelRatioF()));
    grid->addWidget(ProgramIcon, 0, 0, Qt::AlignTop);

    auto* title = new QVBoxLayout;
    ProductName = new QLabel(QStringLiteral("Product Name"), panel);
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    ProductName->setFont(bold);
    ProductName->setWordWrap(true);
    ProductName->setAlignment(Qt::AlignCenter);
    ProductName->setMinimumSize(187, 37);
    title->addWidget(ProductName);
    auto* versionRow = new QHBoxLayout;
    versionRow->setSpacing(6);
    versionRow->addStretch();
    versionRow->addWidget(new QLabel(QString::fromUtf8("Версия"), panel));
    Version = new QLabel(QStringLiteral("Version"), panel);
    versionRow->addWidget(Version);
    versionRow->addStretch();
    title->addLayout(versionRow);
    Copyright = new QLabel(QStringLiteral("Copyright"), panel);
    Copyright->setWordWrap(true);
    Copyright->setAlignment(Qt::AlignCenter);
    title->addWidget(Copyright);
    title->addStretch();
    grid->addLayout(title, 0, 1, 1, 2);

    if (QGroupBox* maker =
            SupportGroup(panel, "Техподдержка ФК \"Корви\"", contacts.SupportContact,
                         {{"Телефон:", contacts.SupportPhone}, {"Мессенджер:", contacts.SupportMessenger}})) {
        grid->addWidget(maker, 1, 0, 1, 3);
    }
    if (QGroupBox* depository =
            SupportGroup(panel, "Техподдержка депозитария", contacts.DepositoryContact,
                         {{"Шифрование:", contacts.CryptPhone}, {"FTP-сервер:", contacts.FtpPhone}})) {
        grid->addWidget(depository, 2, 0, 1, 3);
    }
    grid->setRowStretch(4, 1);

    auto* stats = new QGroupBox(QString::fromUtf8("Статистика"), panel);
    auto* statsGrid = new QGridLayout(stats);
    statsGrid->setContentsMargins(8, 4, 8, 6);
    statsGrid->setVerticalSpacing(4);
    statsGrid->addWidget(new QLabel(QString::fromUtf8("Отправлено файлов:"), stats), 0, 0);
    LSend = Sunken(stats);
    LSend->setText(QStringLiteral("LSend"));
    statsGrid->addWidget(LSend, 0, 1);
    statsGrid->addWidget(new QLabel(QString::fromUtf8("Принято файлов:"), stats), 1, 0);
    LRecive = Sunken(stats);
    LRecive->setText(QStringLiteral("LRecive"));
    statsGrid->addWidget(LRecive, 1, 1);
    statsGrid->setColumnStretch(1, 1);
    grid->addWidget(stats, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setCenterButtons(true);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Ok)->setIcon(QIcon());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    outer->addWidget(buttons);

    // The designed size; a modal window, as the menu command opens it.
    setFixedSize(kClientSize);
    setWindowModality(Qt::ApplicationModal);
    CentreOnScreen(*this);
}

QString TFAbout::CounterText(int count, double kilobytes)
{
    char number[64];
    std::snprintf(number, sizeof number, "%.2f", kilobytes);
    QString size = QString::fromLatin1(number);
    size.replace(QLatin1Char('.'), QLatin1Char(','));
    return QStringLiteral("%1 (%2 ").arg(count).arg(size) + QString::fromUtf8("Кб)");
}

bool TFAbout::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    // Showing counts as activation too: without a window manager (or when the manager
    // refuses focus) a window shown beside others is never activated.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show) {
        FormActivate();
    }
    return handled;
}

void TFAbout::FormActivate()
{
    if (m_filling) {
        return;
    }
    m_filling = true;
    // The compiled-in texts first, so a faulty counter value cannot leave them blank.
    ProductName->setText(QString::fromUtf8(branding::kProductName));
    Copyright->setText(QString::fromUtf8(branding::kCopyright));
    Version->setText(QStringLiteral(ORNEL_VERSION));
    try {
        int count = 0;
        double size = 0;
        if (m_registry != nullptr) {
            const RegistryKey key = m_registry->OpenKey(Hive::LocalMachine, kCounterKey);
            count = key.ReadIntegerIfPresent("FileReciveCount").value_or(0);
            size = key.ReadFloatIfPresent("FileReciveSize").value_or(0.0);
            LRecive->setText(CounterText(count, size));
            count = key.ReadIntegerIfPresent("FileSendCount").value_or(0);
            size = key.ReadFloatIfPresent("FileSendSize").value_or(0.0);
            LSend->setText(CounterText(count, size));
        } else {
            LRecive->setText(CounterText(0, 0));
            LSend->setText(CounterText(0, 0));
        }
        m_lastError.clear();
    } catch (const std::exception& error) {
        const QString message = QString::fromUtf8(error.what());
        // Closing the box activates this window again; the same fault is not shown twice.
        if (message != m_lastError) {
            m_lastError = message;
            m_showError(message);
        }
        m_filling = false;
        return;
    }
    m_filling = false;
}

} // namespace ornel
