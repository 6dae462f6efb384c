#pragma once

#include <QWidget>

#include <optional>

class QLabel;

namespace ostrel {

class AppState;
class FieldGroup;
class PasswordChangeView;
class PrimaryButton;
class ScheduledDeletionView;

// The account page: the scheduled-deletion notice, the display name with its save button, and
// the password card.
class AccountSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int confirmationSeconds = 4;

    explicit AccountSection(AppState &state, QWidget *parent = nullptr);

    FieldGroup *nameField() const { return m_name; }
    PrimaryButton *saveButton() const { return m_save; }
    PasswordChangeView *passwordCard() const { return m_password; }
    ScheduledDeletionView *deletionNotice() const { return m_deletion; }
    bool isSaving() const { return m_saving; }
    bool canSaveProfile() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    QString storedName() const;
    void followUser();
    void saveName();
    void refresh();
    void retranslate();

    AppState &m_state;
    std::optional<QString> m_nameError;
    bool m_saving = false;
    bool m_showSaved = false;
    // The name last taken from the user record: the field follows the record until edited.
    QString m_filledName;

    ScheduledDeletionView *m_deletion;
    QLabel *m_profileTitle;
    FieldGroup *m_name;
    QWidget *m_savedRow;
    QLabel *m_savedText;
    PrimaryButton *m_save;
    PasswordChangeView *m_password;
};

} // namespace ostrel
