#pragma once

#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QWidget;

namespace ostrel {

class AppState;
class FieldGroup;
class PrimaryButton;

// The account page's password card: the current and the new password with the live rule and
// the current-password check, a reveal switch and the change button. The request goes straight
// to the API client; the service's verdict lands under the field it concerns.
class PasswordChangeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int confirmationSeconds = 4;

    explicit PasswordChangeView(AppState &state, QWidget *parent = nullptr);

    FieldGroup *currentField() const { return m_current; }
    FieldGroup *newField() const { return m_new; }
    PrimaryButton *changeButton() const { return m_change; }
    QCheckBox *revealBox() const { return m_reveal; }
    bool isSaving() const { return m_saving; }
    bool canChangePassword() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void validateNewPassword(const QString &value);
    void changePassword();
    void refresh();
    void retranslate();

    AppState &m_state;
    std::optional<QString> m_currentError;
    std::optional<QString> m_newError;
    bool m_newHintOk = false;
    bool m_saving = false;
    bool m_showChanged = false;

    QLabel *m_title;
    FieldGroup *m_current;
    FieldGroup *m_new;
    QCheckBox *m_reveal;
    PrimaryButton *m_change;
    QWidget *m_changedRow;
    QLabel *m_changedText;
};

} // namespace ostrel
