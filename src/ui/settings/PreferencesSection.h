#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace ostrel {

class AppState;
class SegmentedPicker;
class SettingsRowButton;
class SwitchRow;
class TintedButton;

// The preferences page: notifications (with the permission state and how to fix a denied one,
// and crash notifications under "advanced"), start at login as the system reports it,
// automatic updates, the in-app language, and a debugging block in non-production builds.
class PreferencesSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int languageSavedSeconds = 3;
    static constexpr int flashSeconds = 2;

    explicit PreferencesSection(AppState &state, QWidget *parent = nullptr);

    SwitchRow *notificationsRow() const { return m_notifications; }
    QWidget *permissionCallout() const { return m_callout; }
    TintedButton *checkPermissionButton() const { return m_checkPermission; }
    QToolButton *advancedToggle() const { return m_advancedToggle; }
    SwitchRow *crashRow() const { return m_crash; }
    SwitchRow *launchAtLoginRow() const { return m_launchAtLogin; }
    SwitchRow *updatesRow() const { return m_updates; }
    SegmentedPicker *languagePicker() const { return m_picker; }
    QLabel *languageName() const { return m_languageName; }
    QWidget *languageSavedNote() const { return m_savedNote; }
    QWidget *debugBlock() const { return m_debug; }
    QLabel *loginStatusLine() const { return m_loginStatus; }
    QLabel *loginErrorLine() const { return m_loginError; }
    bool isSavingLanguage() const { return m_savingLanguage; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void chooseLanguage(const QString &code);
    void sendTestNotification();
    void refresh();
    void retranslate();

    AppState &m_state;
    bool m_savingLanguage = false;
    bool m_showLanguageSaved = false;
    bool m_testFlash = false;

    SwitchRow *m_notifications;
    QWidget *m_callout;
    QLabel *m_calloutText;
    TintedButton *m_checkPermission;
    QWidget *m_advanced;
    QToolButton *m_advancedToggle;
    SwitchRow *m_crash;
    SwitchRow *m_launchAtLogin;
    SwitchRow *m_updates;
    QLabel *m_languageTitle;
    QLabel *m_languageName;
    SegmentedPicker *m_picker;
    QWidget *m_savedNote;
    QLabel *m_savedText;
    QWidget *m_debug = nullptr;
    QLabel *m_debugTitle = nullptr;
    SettingsRowButton *m_testButton = nullptr;
    QWidget *m_testSent = nullptr;
    QLabel *m_testSentText = nullptr;
    QLabel *m_loginStatus = nullptr;
    QLabel *m_loginError = nullptr;
};

} // namespace ostrel
