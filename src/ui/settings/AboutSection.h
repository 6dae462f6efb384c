#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;
class SettingsRowButton;

// The about page: name, version and build, the product's links, and in non-production builds
// the environment with two debugging tools (onboarding reset, the upgrade sheet).
class AboutSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int flashSeconds = 2;
    static constexpr auto webURL = "https://ostrel.app";
    static constexpr auto docsURL = "https://docs.ostrel.app";
    static constexpr auto supportURL = "mailto:support@ostrel.app";

    explicit AboutSection(AppState &state, QWidget *parent = nullptr);

    QString versionText() const;
    QList<SettingsRowButton *> links() const { return m_links; }
    QWidget *debugBlock() const { return m_debug; }
    SettingsRowButton *onboardingResetButton() const { return m_reset; }
    SettingsRowButton *upgradeSheetButton() const { return m_upgrade; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void resetOnboarding();
    void retranslate();

    AppState &m_state;
    QString m_version;
    QString m_build;
    bool m_resetFlash = false;

    QLabel *m_name;
    QLabel *m_versionLine;
    QList<SettingsRowButton *> m_links;
    QWidget *m_debug = nullptr;
    QLabel *m_environment = nullptr;
    QLabel *m_baseURL = nullptr;
    SettingsRowButton *m_reset = nullptr;
    SettingsRowButton *m_upgrade = nullptr;
};

} // namespace ostrel
