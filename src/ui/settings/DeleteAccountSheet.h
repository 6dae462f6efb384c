#pragma once

#include <QDateTime>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace ostrel {

class AppState;
class ErrorBanner;
class FieldGroup;
class PrimaryButton;

// The sheet that schedules the account's deletion: the password, the account's address typed
// again, an acknowledgement, and the submit button; then the scheduled date in place of the form.
// A new sheet starts empty.
class DeleteAccountSheet : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 400;

    // `close` dismisses the sheet.
    DeleteAccountSheet(AppState &state, std::function<void()> close, QWidget *parent = nullptr);

    FieldGroup *passwordField() const { return m_password; }
    FieldGroup *emailField() const { return m_email; }
    QCheckBox *acknowledgement() const { return m_acknowledge; }
    QPushButton *submitButton() const { return m_submit; }
    QPushButton *cancelButton() const { return m_cancel; }
    ErrorBanner *errorBanner() const { return m_banner; }
    PrimaryButton *closeButton() const { return m_close; }
    bool isLoading() const { return m_loading; }
    bool didSchedule() const { return m_didSchedule; }
    bool canSubmitDeletion() const;
    std::optional<QString> emailMismatchMessage() const;

    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    void submit();
    void refresh();
    void retranslate();

    AppState &m_state;
    std::function<void()> m_closeSheet;
    std::optional<QString> m_apiPasswordError;
    std::optional<QString> m_apiEmailError;
    std::optional<QString> m_genericError;
    bool m_loading = false;
    bool m_didSchedule = false;
    std::optional<QDateTime> m_scheduledAt;

    QLabel *m_heading;
    QWidget *m_form;
    QLabel *m_warning;
    ErrorBanner *m_banner;
    FieldGroup *m_password;
    FieldGroup *m_email;
    QCheckBox *m_acknowledge;
    QPushButton *m_cancel;
    QPushButton *m_submit;
    QWidget *m_result;
    QLabel *m_resultTitle;
    QLabel *m_resultBody;
    PrimaryButton *m_close;
};

} // namespace ostrel
