#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;
class PrimaryButton;
class TintedButton;

// Drawn over the whole popover while AppState holds a pending account switch: a sign-in link for
// another account arrived while one is signed in. It names the current account and asks before
// anything of it is torn down. Return switches (or presses the focused button), Escape keeps the
// current account. It follows its parent's size by itself.
class AccountSwitchSheet : public QWidget {
    Q_OBJECT
public:
    explicit AccountSwitchSheet(AppState &state, QWidget *parent);

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void retranslate();

    AppState &m_state;
    QLabel *m_title;
    QLabel *m_message;
    QLabel *m_newAccount;
    QLabel *m_detail;
    PrimaryButton *m_confirm;
    TintedButton *m_cancel;
};

} // namespace ostrel
