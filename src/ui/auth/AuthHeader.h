#pragma once

#include "state/AuthFlow.h"

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;

// The heading above the sign-in forms: a bold title and a secondary subtitle for AppState's
// authFlow. It follows the flow itself, cross-fading to the new texts.
class AuthHeader : public QWidget {
    Q_OBJECT
public:
    static constexpr int fadeMilliseconds = 220;

    explicit AuthHeader(AppState &state, QWidget *parent = nullptr);

    QString titleText() const;
    QString subtitleText() const;

    static QString titleKey(AuthFlow::Kind kind);
    static QString subtitleKey(AuthFlow::Kind kind);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void flowChanged();

    AppState &m_state;
    AuthFlow::Kind m_kind;
    QLabel *m_title;
    QLabel *m_subtitle;
};

} // namespace ostrel
