#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace ostrel {

class AppState;
class SettingsView;

// The settings window's root: a locked placeholder while nobody is signed in, otherwise the
// settings (SettingsView). Follows the in-app language.
class SettingsRoot : public QWidget {
    Q_OBJECT
public:
    explicit SettingsRoot(AppState &state, QWidget *parent = nullptr);

    bool isLocked() const { return m_locked; }
    QWidget *currentPage() const { return m_page; }
    // The signed-in settings; null while locked.
    SettingsView *settingsView() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    QWidget *createLockPage();
    QWidget *createSettingsPage();
    QString text(const QString &key) const;

    AppState &m_state;
    QVBoxLayout *m_layout;
    QWidget *m_page = nullptr;
    bool m_locked = false;
    bool m_hasPage = false;
};

} // namespace ostrel
