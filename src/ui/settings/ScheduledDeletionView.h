#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;
class PrimaryButton;

// The account page's notice of a scheduled deletion: the date and a button that cancels it.
// Shown only while the signed-in user's record carries a deletion date; a failed cancel is
// silent (the notice stays, since the record is unchanged).
class ScheduledDeletionView : public QWidget {
    Q_OBJECT
public:
    explicit ScheduledDeletionView(AppState &state, QWidget *parent = nullptr);
    PrimaryButton *cancelButton() const { return m_cancel; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void cancelDeletion();

    AppState &m_state;
    QLabel *m_title;
    QLabel *m_body;
    PrimaryButton *m_cancel;
};

} // namespace ostrel
