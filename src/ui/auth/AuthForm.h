#pragma once

#include <QWidget>

#include <optional>

class QLabel;

namespace ostrel {

class AppState;
class ApiFailure;
class TintedButton;

// What the onboarding and sign-in screens share: the state they read, their texts in the in-app
// language (re-read on a language change), Escape to go back, and how a failure reads.
class AuthForm : public QWidget {
    Q_OBJECT
public:
    explicit AuthForm(AppState &state, QWidget *parent = nullptr);

    // `userMessage` for a refusal of the service, the network text for anything else.
    static QString failureText(const ApiFailure &failure, const QString &language);

protected:
    AppState &state() const { return m_state; }
    QString language() const;
    QString text(const QString &key) const;

    // Re-reads every text; called once the subclass is built and on each language change.
    virtual void retranslate() = 0;
    // Escape: where the screen leads back to; false when it has nowhere to go (the host decides).
    virtual bool goBack() { return false; }

    // Building blocks: a wrapping label, a link-like button that sets the text's key as its
    // accessible name on retranslate (see setLinkText), a row of a lead text and a link.
    QLabel *makeLabel(int pixelSize, int weight, bool secondary, const char *objectName);
    TintedButton *makeLink(const char *objectName);
    static void setLinkText(TintedButton *link, const QString &text);

    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    AppState &m_state;
};

} // namespace ostrel
