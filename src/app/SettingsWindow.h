#pragma once

#include <QWidget>

namespace ostrel {

class AppState;
class SettingsRoot;

// The settings window: made once, hidden and shown again for the whole run, so its view state
// survives closing it.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize contentSize{620, 480};

    explicit SettingsWindow(AppState &state, QWidget *parent = nullptr);
    SettingsRoot *root() const { return m_root; }

    // Shows it in front of every other window and gives it the keyboard.
    void bringToFront();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    SettingsRoot *m_root;
};

} // namespace ostrel
