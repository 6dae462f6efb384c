#pragma once

#include "state/UpgradeReason.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace ostrel {

class AppState;
class CheckoutButton;

// The upgrade sheet's content: why the paid plan helps (for AppState's upgradeReason), what it
// adds, and the checkout button. Dismissing it sets AppState's showingUpgrade to false. The
// popover root and the settings window each present one while showingUpgrade is true.
class UpgradeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 360;

    explicit UpgradeView(AppState &state, QWidget *parent = nullptr);

    // The context line's key for a reason; empty for `manual` (no line).
    static QString contextKey(UpgradeReason reason);

    CheckoutButton *checkoutButton() const { return m_checkout; }
    QPushButton *dismissButton() const { return m_dismiss; }
    // The context line, empty when none is shown.
    QString contextText() const;

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Feature {
        QLabel *title;
        QLabel *subtitle;
        QString titleKey;
        QString subtitleKey;
    };
    void checkout();
    void dismiss();
    void retranslate();
    void refreshState();

    AppState &m_state;
    QLabel *m_title;
    QLabel *m_subtitle;
    QLabel *m_context;
    QList<Feature> m_features;
    CheckoutButton *m_checkout;
    QLabel *m_prompt;
    QPushButton *m_dismiss;
};

} // namespace ostrel
