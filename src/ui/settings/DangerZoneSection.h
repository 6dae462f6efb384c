#pragma once

#include "platform/Clock.h"

#include <QWidget>

#include <functional>

class QLabel;

namespace ostrel {

class AppState;
class ConfirmAction;
class TintedButton;

// The danger zone: a two-step sign-out and the entry to the deletion sheet.
class DangerZoneSection : public QWidget {
    Q_OBJECT
public:
    static constexpr Clock::Duration confirmWindow = std::chrono::seconds(3);

    // `showDeleteSheet` opens the window's deletion sheet.
    DangerZoneSection(AppState &state, std::function<void()> showDeleteSheet, QWidget *parent = nullptr);

    ConfirmAction *signOutButton() const { return m_signOut; }
    TintedButton *deleteButton() const { return m_delete; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    AppState &m_state;
    QLabel *m_signOutTitle;
    QLabel *m_signOutSubtitle;
    QLabel *m_deleteTitle;
    QLabel *m_deleteSubtitle;
    ConfirmAction *m_signOut;
    TintedButton *m_delete;
};

} // namespace ostrel
