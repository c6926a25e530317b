#include "ui/options/TFOptions.h"

#include "platform/RegistryStore.h"
#include "settings/SettingsTable.h"
#include "ui/options/ArchiveTab.h"
#include "ui/options/EncodingTab.h"
#include "ui/options/ExtraTab.h"
#include "ui/options/FtpTab.h"
#include "ui/options/MaskedEdit.h"
#include "ui/options/MonitoringTab.h"
#include "ui/options/MultiRowTabs.h"
#include "ui/options/OptionsTarget.h"
#include "ui/options/OptionsWidgets.h"
#include "ui/options/PathField.h"
#include "ui/options/PostBoxTab.h"
#include "ui/options/ProxyTab.h"
#include "ui/options/ScheduleTab.h"
#include "ui/options/TempFoldersTab.h"
#include "ui/options/TimeField.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <exception>
#include <memory>
#include <stdexcept>

namespace ornel
{

using options::ReadField;
using options::ShowInField;

namespace
{

// These fields show their default when the store lacks their value, whatever they
// showed before; every other field keeps what it shows.
bool ResetWhenAbsent(const std::string& name)
{
    return name == "SoundOFF" || name == "Proxy" || name == "ProxyType" || name == "ProxyPort";
}

} // namespace

TFOptions::TFOptions(OptionsTarget& target, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_target(target)
{
    setObjectName(QString::fromLatin1(kObjectName));
    setWindowTitle(QString::fromUtf8("Настройки"));
    setFixedSize(kClientWidth, kClientHeight);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    PageControl = new MultiRowTabs(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    TabFtp = new FtpTab(PageControl);
    TabTemp = new TempFoldersTab(PageControl);
    TabArchive = new ArchiveTab(PageControl);
    TabPostBox = new PostBoxTab(PageControl);
    TabMonitoring = new MonitoringTab(PageControl);
    TabEncoding = new EncodingTab(PageControl);
    TabSchedule = new ScheduleTab(PageControl);
    TabProxy = new ProxyTab(PageControl);
    TabExtra = new ExtraTab(PageControl);
    PageControl->addTab(TabFtp, QString::fromUtf8("Настройки ФТП"));
    PageControl->addTab(TabTemp, QString::fromUtf8("Временные каталоги"));
    PageControl->addTab(TabArchive, QString::fromUtf8("Архив сообщений"));
    PageControl->addTab(TabPostBox, QString::fromUtf8("Каталог (POST_BOX)"));
    PageControl->addTab(TabMonitoring, QString::fromUtf8("Мониторинг"));
    PageControl->addTab(TabEncoding, QString::fromUtf8("Настройки кодирования"));
    PageControl->addTab(TabSchedule, QString::fromUtf8("Регламент"));
    PageControl->addTab(TabProxy, QString::fromUtf8("Прокси"));
    PageControl->addTab(TabExtra, QString::fromUtf8("Дополнительно"));
    outer->addWidget(PageControl, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    BApply = new QPushButton(QString::fromUtf8("Применить"), this);
    BSave = new QPushButton(QString::fromUtf8("Сохранить"), this);
    BCancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    for (QPushButton* button : {BApply, BSave, BCancel}) {
        // A click must not take the focus from a half-filled masked field: the buttons
        // check the fields themselves. Enter and Escape are the dialog's own keys.
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    BApply->setObjectName(QStringLiteral("BApply"));
    BSave->setObjectName(QStringLiteral("BSave"));
    BCancel->setObjectName(QStringLiteral("BCancel"));
    outer->addLayout(buttons);

    BindFields();
    ShowDefaults();
    CBProxyClick();

    connect(BApply, &QPushButton::clicked, this, &TFOptions::ApplyClick);
    connect(BSave, &QPushButton::clicked, this, &TFOptions::SaveClick);
    connect(BCancel, &QPushButton::clicked, this, &TFOptions::reject);
    connect(TabProxy->CBProxy, &QCheckBox::toggled, this, [this] { CBProxyClick(); });
    connect(TabFtp->BCheck, &QPushButton::clicked, this, [this] {
        try {
            CheckConnection();
        } catch (const std::exception& e) {
            Report(e);
        }
    });
    connect(qApp, &QApplication::focusChanged, this, &TFOptions::FocusChanged);
    // The dialog sees every key before its fields do.
    qApp->installEventFilter(this);
}

TFOptions::~TFOptions()
{
    qApp->removeEventFilter(this);
}

void TFOptions::BindFields()
{
    m_bindings = {
        {"FtpOut", TabFtp->EFtpOut},
        {"FtpIn", TabFtp->EFtpIn},
        {"TempSend", TabTemp->ETempSend},
        {"TempReciv", TabTemp->ETempReciv},
        {"Interval", TabMonitoring->EInterval},
        {"IP", TabFtp->EIP},
        {"Port", TabFtp->EPort},
        {"Passive", TabFtp->CBPassive},
        {"User", TabFtp->EUser},
        {"Password", TabFtp->EPassword},
        {"ArcSend", TabArchive->EArcSend},
        {"ArcReciv", TabArchive->EArcReciv},
        {"ArcSend2", TabArchive->EArcSend2},
        {"ArcReciv2", TabArchive->EArcReciv2},
        {"PostBoxOut", TabPostBox->EPostBoxOut},
        {"PostBoxIn", TabPostBox->EPostBoxIn},
        {"UnKnOwn", TabExtra->EUnKnOwn},
        {"UnKnOwnMonitoring", TabExtra->CBUnKnOwnMonitoring},
        {"ERRMonitoring", TabExtra->CBERRMonitoring},
        {"AutoRun", TabMonitoring->CBAutoRun},
        {"ShowBallonHint", TabExtra->CBShowBallonHint},
        {"BallonHintCountLines", TabExtra->EBallonHintCountLines},
        {"NotUseCrypt", TabEncoding->CBNotUseCrypt},
        {"PlaySound", TabMonitoring->CBPlaySound},
        {"PlaySoundFTP", TabMonitoring->CBPlaySoundFTP},
        {"PlaySoundERR", TabExtra->CBPlaySoundERR},
        {"PlaySoundUnknown", TabExtra->CBPlaySoundUnknown},
        {"PlayStart", TabMonitoring->EPlayStart},
        {"PlayFTP", TabMonitoring->EPlayFTP},
        {"PlayERR", TabExtra->EPlayERR},
        {"PlayUnknown", TabExtra->EPlayUnknown},
        {"SoundOFF", TabMonitoring->CBSoundOFF},
        {"ERRExt", TabExtra->EERRExt},
        {"WindowERR", TabExtra->CBWindowERR},
        {"WindowUnknown", TabExtra->CBWindowUnknown},
        {"CryptProgNew", TabEncoding->ECryptProgNew},
        {"PIN", TabEncoding->EPIN},
        {"UPIN", TabEncoding->EUPIN},
        {"KodSend", TabEncoding->EKodSend},
        {"WindowType", TabEncoding->CBoxWindowType},
        {"Pause", TabMonitoring->EPause},
        {"Proxy", TabProxy->CBProxy},
        {"ProxyType", TabProxy->CBoxProxyType},
        {"ProxyAdr", TabProxy->EProxyAdr},
        {"ProxyPort", TabProxy->EProxyPort},
        {"ProxyUser", TabProxy->EProxyUser},
        {"ProxyPaswd", TabProxy->EProxyPaswd},
    };
}

QWidget* TFOptions::FieldOf(const std::string& name) const
{
    for (const Binding& binding : m_bindings) {
        if (binding.Name == name) {
            return binding.Field;
        }
    }
    throw std::logic_error("The options dialog has no field for " + name);
}

void TFOptions::ShowDefaults()
{
    for (const SettingInfo& setting : ConfigurationSettings()) {
        if (setting.Use != StartupUse::NotRead) {
            ShowInField(FieldOf(std::string(setting.Name)), DialogDefault(setting));
        }
    }
    for (QWidget* field : ScheduleFields()) {
        const SettingInfo* setting = FindSetting(ScheduleName(field));
        if (!setting) {
            throw std::logic_error("No schedule value for " + field->objectName().toStdString());
        }
        if (auto* box = qobject_cast<QCheckBox*>(field)) {
            box->setChecked(setting->Dialog.Number != 0);
        } else if (auto* time = qobject_cast<TimeField*>(field)) {
            time->SetDatePart(std::trunc(setting->Dialog.Time));
            time->SetTimeOfDay(setting->Dialog.Time);
        }
    }
}

OptionsValue TFOptions::DialogDefault(const SettingInfo& setting)
{
    switch (setting.Kind) {
    case SettingKind::Text:
    case SettingKind::Secret:
        return std::string(setting.Dialog.Text);
    case SettingKind::Integer:
        return static_cast<int>(setting.Dialog.Number);
    case SettingKind::Flag:
        return setting.Dialog.Number != 0;
    case SettingKind::Time:
    case SettingKind::Real:
        break;
    }
    throw std::logic_error("No dialog field holds " + std::string(setting.Name));
}

std::optional<OptionsValue> TFOptions::ReadStored(const RegistryKey& key, const SettingInfo& setting) const
{
    const std::string name(setting.Name);
    switch (setting.Kind) {
    case SettingKind::Text:
        return key.ReadStringIfPresent(name);
    case SettingKind::Secret:
        if (auto stored = key.ReadStringIfPresent(name)) {
            return m_target.DecryptSecret(*stored);
        }
        return std::nullopt;
    case SettingKind::Integer:
        if (auto number = key.ReadIntegerIfPresent(name)) {
            return static_cast<int>(*number);
        }
        return std::nullopt;
    case SettingKind::Flag:
        return key.ReadBoolIfPresent(name);
    case SettingKind::Time:
    case SettingKind::Real:
        break;
    }
    throw std::logic_error("No dialog field holds " + name);
}

std::vector<QWidget*> TFOptions::ScheduleFields() const
{
    std::vector<QWidget*> fields;
    for (QWidget* field : findChildren<QWidget*>()) {
        if (field->property(options::kTagProperty).toInt() == options::kScheduleTag) {
            fields.push_back(field);
        }
    }
    return fields;
}

std::string TFOptions::ScheduleName(const QWidget* field)
{
    // The value is named by the field: CBWeek1 edits Week1, TStart1 Start1, TStop1 Stop1.
    const int prefix = qobject_cast<const QCheckBox*>(field) ? 2 : 1;
    return field->objectName().mid(prefix).toStdString();
}

void TFOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_loaded) {
        return;
    }
    // Loaded once per showing: a browse dialog or a message box closing over it must
    // not throw away what the user has typed since.
    m_loaded = true;
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    }
    try {
        LoadOptions();
    } catch (const std::exception& e) {
        const std::string message = e.what();
        QTimer::singleShot(0, this, [this, message] { m_target.ReportError(message); });
    }
}

void TFOptions::LoadOptions()
{
    RegistryKey key = m_target.Registry().OpenKey(Hive::LocalMachine, std::string(kConfigurationKey));
    for (const SettingInfo& setting : ConfigurationSettings()) {
        if (setting.Use == StartupUse::NotRead) {
            continue;
        }
        const std::string name(setting.Name);
        if (const std::optional<OptionsValue> stored = ReadStored(key, setting)) {
            ShowInField(FieldOf(name), *stored);
        } else if (ResetWhenAbsent(name)) {
            ShowInField(FieldOf(name), DialogDefault(setting));
        }
    }
    CBProxyClick();
    LoadRegBase(key);
}

void TFOptions::LoadRegBase(const RegistryKey& key)
{
    for (QWidget* field : ScheduleFields()) {
        const std::string name = ScheduleName(field);
        if (auto* box = qobject_cast<QCheckBox*>(field)) {
            if (const auto on = key.ReadBoolIfPresent(name)) {
                box->setChecked(*on);
            }
        } else if (auto* time = qobject_cast<TimeField*>(field)) {
            if (const auto moment = key.ReadFloatIfPresent(name)) {
                time->SetTimeOfDay(*moment);
            }
        }
    }
}

void TFOptions::CBProxyClick()
{
    TabProxy->GBProxy->setEnabled(TabProxy->CBProxy->isChecked());
}

void TFOptions::CheckConnection()
{
    if (m_target.IsConnected()) {
        return; // a cycle holds the connection: leave it alone
    }
    try {
        m_target.ConnectFtp();
    } catch (...) {
        m_target.DisconnectFtp();
        throw;
    }
    // Closed before the box: timers run while it is open, and a cycle starting then must
    // not have its own connection closed under it when the box goes.
    m_target.DisconnectFtp();
    m_target.ShowInformation("Проверка соединения с FTP сервером", "Соединение с FTP сервером установленно");
}

bool TFOptions::FormKeyPress(int key)
{
    if (key == 13) {
        SaveClick();
        return true;
    }
    if (key == 27) {
        reject();
        return true;
    }
    return false;
}

bool TFOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
        return QDialog::eventFilter(watched, event);
    }
    auto* widget = static_cast<QWidget*>(watched);
    // Only keys meant for this window: an open list, a browse dialog or a message box is a
    // window of its own and keeps its keys.
    if (widget->window() != this) {
        return QDialog::eventFilter(watched, event);
    }
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    switch (keyEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return FormKeyPress(13);
    case Qt::Key_Escape:
        return FormKeyPress(27);
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void TFOptions::ApplyClick()
{
    if (!MaskedFieldsComplete()) {
        return;
    }
    try {
        SaveOptions();
    } catch (const std::exception& e) {
        Report(e);
    }
}

void TFOptions::SaveClick()
{
    if (!MaskedFieldsComplete()) {
        return;
    }
    try {
        SaveOptions();
    } catch (const std::exception& e) {
        // The dialog stays open with what the user typed.
        Report(e);
        return;
    }
    accept();
}

bool TFOptions::MaskedFieldsComplete()
{
    for (MaskedEdit* field : findChildren<MaskedEdit*>()) {
        if (field->NeedsCompletion()) {
            RefuseLeaving(field);
            return false;
        }
    }
    return true;
}

void TFOptions::FocusChanged(QWidget* old, QWidget* now)
{
    auto* masked = qobject_cast<MaskedEdit*>(old);
    if (m_refusing || !masked || masked->window() != this || !masked->NeedsCompletion()) {
        return;
    }
    // Another window taking the focus (a message box, another program) is not the user
    // leaving the field.
    if (!now || now->window() != this) {
        return;
    }
    RefuseLeaving(masked);
}

void TFOptions::RefuseLeaving(QWidget* field)
{
    m_refusing = true;
    QApplication::beep();
    // The focus goes back once the change in progress (a tab switch, a click) has run its
    // course; changing it again from inside that change would fight it.
    QPointer<QWidget> target(field);
    QTimer::singleShot(0, this, [this, target] {
        if (target) {
            for (int page = 0; page < PageControl->count(); ++page) {
                if (PageControl->widget(page)->isAncestorOf(target)) {
                    PageControl->setCurrentIndex(page);
                }
            }
            target->setFocus(Qt::OtherFocusReason);
        }
        m_refusing = false;
        m_target.ReportError(kInvalidInput);
    });
}

void TFOptions::Report(const std::exception& error)
{
    m_target.ReportError(error.what());
}

void TFOptions::OpenOptions(OptionsTarget& target)
{
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String(kObjectName)) {
            return;
        }
    }
    const auto dialog = std::make_unique<TFOptions>(target);
    dialog->exec();
}

} // namespace ornel
