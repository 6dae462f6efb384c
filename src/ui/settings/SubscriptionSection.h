#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;
class PrimaryButton;
class SettingsRowButton;

// The subscription page: the plan the account is on, what it includes, and the way up (free
// plan: the upgrade sheet) or the purchase-support link (paid plan).
class SubscriptionSection : public QWidget {
    Q_OBJECT
public:
    // Where help with a purchase is asked for.
    static constexpr auto supportURL = "mailto:support@ostrel.app";

    explicit SubscriptionSection(AppState &state, QWidget *parent = nullptr);

    PrimaryButton *upgradeButton() const { return m_upgrade; }
    SettingsRowButton *supportLink() const { return m_support; }
    QStringList featureTexts() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();

    AppState &m_state;
    QLabel *m_title;
    QLabel *m_badge;
    QLabel *m_tagline;
    QList<QLabel *> m_featureIcons;
    QList<QLabel *> m_features;
    PrimaryButton *m_upgrade;
    SettingsRowButton *m_support;
};

} // namespace ostrel
