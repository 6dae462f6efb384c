#pragma once

#include "state/AuthFlow.h"

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace ostrel {

class AppState;
class AuthHeader;

// The sign-in area: the authentication header (left out for the reset form, which brings its
// own heading) above the form for an AuthFlow. With `followFlow` it swaps the form itself when
// AppState's authFlow changes (the onboarding's auth step); otherwise it shows the flow it was
// made for and its host replaces it.
class AuthFlowView : public QWidget {
    Q_OBJECT
public:
    AuthFlowView(AppState &state, bool followFlow, QWidget *parent = nullptr);

    AuthFlow flow() const { return m_flow; }
    AuthHeader *header() const { return m_header; }
    QWidget *form() const { return m_form; }

    // The screen's name for tests and assistive technology, e.g. "screen.signIn".
    static QString screenName(AuthFlow::Kind kind);

private:
    void showFlow(const AuthFlow &flow);

    AppState &m_state;
    AuthFlow m_flow;
    QVBoxLayout *m_layout;
    AuthHeader *m_header;
    QPointer<QWidget> m_form;
};

} // namespace ostrel
