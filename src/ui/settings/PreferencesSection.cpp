#include "ui/settings/PreferencesSection.h"

#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/TintedButton.h"
#include "ui/settings/SegmentedPicker.h"
#include "ui/settings/SettingsCard.h"
#include "ui/settings/SettingsRowButton.h"
#include "ui/settings/SettingsStyle.h"
#include "ui/settings/SwitchRow.h"
#include "ui/settings/ToggleSwitch.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace ostrel {

namespace {

QHBoxLayout *noteRow(QWidget *owner, QLabel *&text, int size, const QColor &textColor)
{
    auto *row = new QHBoxLayout(owner);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(
        settingsstyle::symbol(owner, QStringLiteral("checkmark.circle.fill"), size, Palette::green()));
    text = settingsstyle::label(owner, size, QFont::Normal, textColor);
    row->addWidget(text);
    row->addStretch(1);
    return row;
}

// Shows a state without reporting it as the user's choice.
void setSwitch(SwitchRow *row, bool on)
{
    const QSignalBlocker quiet(row->toggle());
    row->toggle()->setChecked(on);
}

QLabel *monospaced(QWidget *parent, const QColor &color)
{
    QLabel *label = settingsstyle::label(parent, 10, QFont::Normal, color, true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    label->setFont(font);
    return label;
}
} // namespace

PreferencesSection::PreferencesSection(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("section.preferences"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *card = new SettingsCard(10, this);
    outer->addWidget(card);
    outer->addStretch(1);
    QVBoxLayout *column = card->column();

    // Notifications, their permission and the advanced group.
    m_notifications = new SwitchRow(QStringLiteral("bell"), card);
    m_notifications->setObjectName(QStringLiteral("notificationsRow"));
    m_notifications->setContentsMargins(0, 4, 0, 4);
    column->addWidget(m_notifications);
    m_callout = settingsstyle::roundedPanel(
        card, [](const QWidget &) { return Palette::withOpacity(Palette::orange(), 0.08); }, 6);
    m_callout->setObjectName(QStringLiteral("permissionCallout"));
    auto *callout = new QHBoxLayout(m_callout);
    callout->setContentsMargins(6, 4, 6, 4);
    callout->setSpacing(8);
    callout->addWidget(settingsstyle::symbol(m_callout, QStringLiteral("exclamationmark.triangle.fill"), 11,
                                             Palette::orange()),
                       0, Qt::AlignTop);
    m_calloutText = settingsstyle::label(m_callout, 11, QFont::Normal, Palette::secondaryText(card), true);
    callout->addWidget(m_calloutText, 1);
    m_checkPermission = new TintedButton(Palette::brandBlue(), m_callout);
    m_checkPermission->setObjectName(QStringLiteral("checkPermissionButton"));
    // On this desktop the permission is a notification service that answers: after fixing
    // it, asking again is what brings the switch back to life.
    connect(m_checkPermission, &QAbstractButton::clicked, this,
            [this] { m_state.requestNotificationAuthorization(); });
    callout->addWidget(m_checkPermission, 0, Qt::AlignVCenter);
    column->addWidget(m_callout);
    m_advanced = new QWidget(card);
    auto *advanced = new QVBoxLayout(m_advanced);
    advanced->setContentsMargins(6, 0, 6, 0);
    advanced->setSpacing(6);
    m_advancedToggle = new QToolButton(m_advanced);
    m_advancedToggle->setObjectName(QStringLiteral("advancedToggle"));
    m_advancedToggle->setCheckable(true);
    m_advancedToggle->setAutoRaise(true);
    m_advancedToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_advancedToggle->setArrowType(Qt::RightArrow);
    m_advancedToggle->setFont(systemFont(12));
    advanced->addWidget(m_advancedToggle);
    m_crash = new SwitchRow(QStringLiteral("bolt.slash.fill"), m_advanced);
    m_crash->setObjectName(QStringLiteral("crashRow"));
    advanced->addWidget(m_crash);
    column->addWidget(m_advanced);

    m_launchAtLogin = new SwitchRow(QStringLiteral("power"), card);
    m_launchAtLogin->setObjectName(QStringLiteral("launchAtLoginRow"));
    m_launchAtLogin->setContentsMargins(0, 4, 0, 4);
    column->addWidget(m_launchAtLogin);
    m_updates = new SwitchRow(QStringLiteral("arrow.down.circle"), card);
    m_updates->setObjectName(QStringLiteral("updatesRow"));
    m_updates->setContentsMargins(0, 4, 0, 4);
    column->addWidget(m_updates);

    // Language.
    auto *language = new QWidget(card);
    language->setContentsMargins(0, 4, 0, 4);
    auto *languageColumn = new QVBoxLayout(language);
    languageColumn->setContentsMargins(0, 0, 0, 0);
    languageColumn->setSpacing(4);
    auto *languageRow = new QHBoxLayout;
    languageRow->setSpacing(10);
    languageRow->addWidget(
        settingsstyle::symbol(language, QStringLiteral("globe"), 13, Palette::secondaryText(card), 18));
    auto *languageTexts = new QVBoxLayout;
    languageTexts->setSpacing(2);
    m_languageTitle = settingsstyle::label(language, 13, QFont::Medium, Palette::primaryText(card));
    m_languageName = settingsstyle::label(language, 11, QFont::Normal, Palette::secondaryText(card));
    m_languageName->setObjectName(QStringLiteral("languageName"));
    languageTexts->addWidget(m_languageTitle);
    languageTexts->addWidget(m_languageName);
    languageRow->addLayout(languageTexts, 1);
    m_picker = new SegmentedPicker({QStringLiteral("en"), QStringLiteral("es")}, language);
    m_picker->setObjectName(QStringLiteral("languagePicker"));
    m_picker->setFixedWidth(140);
    languageRow->addWidget(m_picker, 0, Qt::AlignVCenter);
    languageColumn->addLayout(languageRow);
    m_savedNote = new QWidget(language);
    m_savedNote->setObjectName(QStringLiteral("languageSaved"));
    noteRow(m_savedNote, m_savedText, 10, Palette::secondaryText(card));
    languageColumn->addWidget(m_savedNote);
    column->addWidget(language);

    // Debugging, only where it is not a release build.
    if (!m_state.isProductionBuild()) {
        column->addSpacing(4);
        column->addWidget(settingsstyle::divider(card, 0.4));
        m_debug = new QWidget(card);
        m_debug->setObjectName(QStringLiteral("preferencesDebug"));
        m_debug->setContentsMargins(0, 2, 0, 0);
        auto *debug = new QVBoxLayout(m_debug);
        debug->setContentsMargins(0, 0, 0, 0);
        debug->setSpacing(6);
        m_debugTitle = settingsstyle::label(m_debug, 11, QFont::DemiBold, Palette::tertiaryText(card));
        debug->addWidget(m_debugTitle);
        auto *testRow = new QHBoxLayout;
        m_testButton = new SettingsRowButton({.symbol = QStringLiteral("bell"),
                                              .symbolSize = 12,
                                              .textSize = 12,
                                              .symbolTint = Palette::brandBlue(),
                                              .horizontalPadding = 4,
                                              .verticalPadding = 3},
                                             m_debug);
        m_testButton->setObjectName(QStringLiteral("testNotificationButton"));
        m_testButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(m_testButton, &QAbstractButton::clicked, this, &PreferencesSection::sendTestNotification);
        testRow->addWidget(m_testButton);
        m_testSent = new QWidget(m_debug);
        m_testSent->setObjectName(QStringLiteral("testNotificationSent"));
        noteRow(m_testSent, m_testSentText, 11, Palette::green());
        testRow->addWidget(m_testSent);
        testRow->addStretch(1);
        debug->addLayout(testRow);
        m_loginStatus = monospaced(m_debug, Palette::tertiaryText(card));
        m_loginStatus->setObjectName(QStringLiteral("loginStatusLine"));
        debug->addWidget(m_loginStatus);
        m_loginError = monospaced(m_debug, Palette::red());
        m_loginError->setObjectName(QStringLiteral("loginErrorLine"));
        debug->addWidget(m_loginError);
        column->addWidget(m_debug);
    }

    // Each switch hands the user's choice (click, Space, or assistive technology's toggle) to AppState; what
    // it then shows comes from AppState (and, for start at login, from the system).
    connect(m_notifications->toggle(), &QAbstractButton::toggled, this, [this](bool on) {
        m_state.setNotificationsEnabled(on);
        m_state.refreshNotificationAuthorizationStatus();
        refresh();
    });
    connect(m_crash->toggle(), &QAbstractButton::toggled, this, [this](bool on) {
        m_state.setNotifyOnCrash(on);
        refresh();
    });
    connect(m_launchAtLogin->toggle(), &QAbstractButton::toggled, this, [this](bool on) {
        m_state.setLaunchAtLogin(on);
        refresh();
    });
    connect(m_updates->toggle(), &QAbstractButton::toggled, this, [this](bool on) {
        m_state.setAutomaticUpdatesEnabled(on);
        refresh();
    });
    connect(m_advancedToggle, &QToolButton::toggled, this, &PreferencesSection::refresh);
    connect(m_picker, &SegmentedPicker::activated, this, &PreferencesSection::chooseLanguage);
    for (auto signal :
         {&AppState::notificationsEnabledChanged, &AppState::notifyOnCrashChanged,
          &AppState::automaticUpdatesEnabledChanged, &AppState::notificationAuthorizationStatusChanged,
          &AppState::launchAtLoginStatusVersionChanged, &AppState::lastLaunchAtLoginErrorChanged})
        connect(&m_state, signal, this, &PreferencesSection::refresh);
    retranslate();
}

void PreferencesSection::chooseLanguage(const QString &code)
{
    if (code == m_state.language() || m_savingLanguage) {
        refresh();
        return;
    }
    const QString previous = m_state.language();
    m_savingLanguage = true;
    // The whole interface switches now, before the service answers.
    m_state.applyLanguage(code);
    refresh();
    // The answer is the account's, not this page's: a refusal rolls the language back even when
    // the page has been left meanwhile.
    AppState *state = &m_state;
    QPointer<PreferencesSection> page(this);
    m_state.saveProfile(
        std::nullopt, code, std::nullopt, nullptr,
        [state, page, previous](const std::optional<ApiFailure> &failure) {
            if (failure) {
                state->applyLanguage(previous);
                Log::line(QStringLiteral("[Preferences] language update failed: ") + failure->description());
                // Said in the language the interface returned to.
                state->presentError(*failure);
            }
            if (!page)
                return;
            page->m_savingLanguage = false;
            if (!failure) {
                page->m_showLanguageSaved = true;
                state->clock().singleShot(std::chrono::seconds(languageSavedSeconds), page, [page] {
                    page->m_showLanguageSaved = false;
                    page->refresh();
                });
            }
            page->refresh();
        });
}

void PreferencesSection::sendTestNotification()
{
    const int number = int(QRandomGenerator::global()->bounded(1000, 10000));
    m_state.postTunnelDisconnectedNotification(QStringLiteral("test-") + QString::number(number));
    m_testFlash = true;
    refresh();
    // Each press sets its own reset.
    m_state.clock().singleShot(std::chrono::seconds(flashSeconds), this, [this] {
        m_testFlash = false;
        refresh();
    });
}

void PreferencesSection::refresh()
{
    const QString language = m_state.language();
    const auto text = [&](const QString &key) { return localized(key, language); };
    const bool enabled = m_state.notificationsEnabled();
    const NotificationAuthorization status = m_state.notificationAuthorizationStatus();
    QString notificationsSubtitle;
    if (!enabled)
        notificationsSubtitle = text(OSTREL_KEY("settings.preferences.notifications.subtitle.disabled"));
    else if (status == NotificationAuthorization::notDetermined)
        notificationsSubtitle =
            text(OSTREL_KEY("settings.preferences.notifications.subtitle.permissionUnrequested"));
    else if (status == NotificationAuthorization::denied)
        notificationsSubtitle =
            text(OSTREL_KEY("settings.preferences.notifications.subtitle.permissionDenied"));
    else
        notificationsSubtitle = text(OSTREL_KEY("settings.preferences.notifications.subtitle.active"));
    m_notifications->setTexts(text(OSTREL_KEY("settings.preferences.notifications.title")),
                              notificationsSubtitle);
    setSwitch(m_notifications, enabled);
    m_callout->setVisible(enabled && status == NotificationAuthorization::denied);
    m_advanced->setVisible(enabled);
    m_crash->setVisible(m_advancedToggle->isChecked());
    m_advancedToggle->setArrowType(m_advancedToggle->isChecked() ? Qt::DownArrow : Qt::RightArrow);
    setSwitch(m_crash, m_state.notifyOnCrash());

    // The system's answer, not the last click.
    const int login = m_state.launchAtLoginStatus();
    QString loginSubtitle;
    switch (login) {
    case LoginItem::enabled:
        loginSubtitle = text(OSTREL_KEY("settings.preferences.launchAtLogin.subtitle.enabled"));
        break;
    case LoginItem::requiresApproval:
        loginSubtitle = text(OSTREL_KEY("settings.preferences.launchAtLogin.subtitle.requiresApproval"));
        break;
    case LoginItem::notFound:
        loginSubtitle = text(OSTREL_KEY("settings.preferences.launchAtLogin.subtitle.notFound"));
        break;
    default:
        loginSubtitle = text(OSTREL_KEY("settings.preferences.launchAtLogin.subtitle.disabled"));
    }
    m_launchAtLogin->setTexts(text(OSTREL_KEY("settings.preferences.launchAtLogin.title")), loginSubtitle);
    setSwitch(m_launchAtLogin, login == LoginItem::enabled || login == LoginItem::requiresApproval);
    setSwitch(m_updates, m_state.automaticUpdatesEnabled());

    m_picker->setValue(language == QLatin1String("es") ? QStringLiteral("es") : QStringLiteral("en"));
    m_picker->setEnabled(!m_savingLanguage);
    m_savedNote->setVisible(m_showLanguageSaved);

    if (m_debug) {
        m_testSent->setVisible(m_testFlash);
        m_loginStatus->setText(LocalizableXCStrings::shared().format(
            OSTREL_KEY("settings.preferences.debug.launchAtLoginStatus"),
            {m_state.launchAtLoginStatusDescription()}, language));
        const auto error = m_state.lastLaunchAtLoginError();
        m_loginError->setVisible(error.has_value());
        m_loginError->setText(
            error ? LocalizableXCStrings::shared().format(
                        OSTREL_KEY("settings.preferences.debug.launchAtLoginError"), {*error}, language)
                  : QString());
    }
}

void PreferencesSection::retranslate()
{
    const QString language = m_state.language();
    const auto text = [&](const QString &key) { return localized(key, language); };
    m_calloutText->setText(text(OSTREL_KEY("settings.preferences.notifications.permissionDenied.body")));
    m_checkPermission->setText(text(OSTREL_KEY("settings.preferences.notifications.checkAgain")));
    m_checkPermission->setAccessibleName(m_checkPermission->text());
    m_checkPermission->updateGeometry();
    m_advancedToggle->setText(text(OSTREL_KEY("settings.preferences.notifications.advanced")));
    m_advancedToggle->setAccessibleName(m_advancedToggle->text());
    m_crash->setTexts(text(OSTREL_KEY("settings.preferences.notifications.crash.title")),
                      text(OSTREL_KEY("settings.preferences.notifications.crash.subtitle")));
    m_updates->setTexts(text(OSTREL_KEY("settings.preferences.updates.title")),
                        text(OSTREL_KEY("settings.preferences.updates.subtitle")));
    m_languageTitle->setText(text(OSTREL_KEY("settings.language.section")));
    m_picker->setAccessibleName(m_languageTitle->text());
    m_picker->setTexts({text(OSTREL_KEY("settings.language.en")), text(OSTREL_KEY("settings.language.es"))});
    m_languageName->setText(text(language == QLatin1String("es") ? OSTREL_KEY("settings.language.es")
                                                                 : OSTREL_KEY("settings.language.en")));
    m_savedText->setText(text(OSTREL_KEY("settings.account.saved")));
    if (m_debug) {
        m_debugTitle->setText(text(OSTREL_KEY("settings.preferences.debug.title")));
        m_testButton->setTitle(text(OSTREL_KEY("settings.preferences.debug.testNotification")));
        m_testSentText->setText(text(OSTREL_KEY("settings.preferences.debug.testNotificationSent")));
    }
    refresh();
}

void PreferencesSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
