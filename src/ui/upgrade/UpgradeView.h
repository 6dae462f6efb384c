#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace ostrel {

class AppState;

// The upgrade sheet's content: why the paid plan helps (for AppState's upgradeReason), what it
// adds, and the checkout button. Dismissing it sets AppState's showingUpgrade to false. The
// popover root and the settings window each present one while showingUpgrade is true.
class UpgradeView : public QWidget {
    Q_OBJECT
public:
    explicit UpgradeView(AppState &state, QWidget *parent = nullptr);

private:
    AppState &m_state;
    QLabel *m_title;
    QPushButton *m_close;
};

} // namespace ostrel
