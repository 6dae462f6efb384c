#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include "ui/settings/SheetOverlay.h"

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace ostrel {

class AppState;
class DeleteAccountSheet;
class ErrorBanner;
class SettingsRowButton;

// The signed-in settings window: the sidebar of sections, the selected section's page under its
// title and the application's banner, and two sheets over it all (account deletion, upgrade).
class SettingsView : public QWidget {
    Q_OBJECT
public:
    enum class Section { cuenta, suscripcion, preferencias, zona, acerca };
    static constexpr int sidebarWidth = 180;

    explicit SettingsView(AppState &state, QWidget *parent = nullptr);

    Section selected() const { return m_selected; }
    void select(Section section);
    QWidget *page() const { return m_page; }
    SettingsRowButton *sidebarButton(Section section) const;
    QLabel *sectionTitle() const { return m_title; }
    ErrorBanner *banner() const { return m_banner; }
    QLabel *emailLabel() const { return m_email; }

    void showDeleteSheet();
    void closeDeleteSheet();
    DeleteAccountSheet *deleteSheet() const;
    SheetOverlay *deleteSheetOverlay() const { return m_deleteOverlay; }
    SheetOverlay *upgradeSheet() const { return m_upgradeOverlay; }

    static QString titleKey(Section section);

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *createPage(Section section);
    void refreshBanner();
    void refreshUpgradeSheet();
    void refreshIdentity();
    void refreshModality();
    void retranslate();

    AppState &m_state;
    Section m_selected = Section::cuenta;
    QWidget *m_body;
    QLabel *m_sidebarTitle;
    QList<SettingsRowButton *> m_sidebarButtons;
    QLabel *m_email;
    QScrollArea *m_scroll;
    QVBoxLayout *m_detail;
    QLabel *m_title;
    ErrorBanner *m_banner;
    QPointer<QWidget> m_page;
    QPointer<SheetOverlay> m_deleteOverlay;
    SheetOverlay *m_upgradeOverlay;
};

} // namespace ostrel
