#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class AppState;
class TintedButton;

// Stands in for the whole list while the account is scheduled for deletion: when it will be
// deleted, and a button that cancels the deletion.
class AccountDeletionNoticeView : public QWidget {
    Q_OBJECT
public:
    explicit AccountDeletionNoticeView(AppState &state, QWidget *parent = nullptr);
    QString bodyText() const;
    TintedButton *cancelButton() const { return m_cancel; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void cancelDeletion();
    void retranslate();
    AppState &m_state;
    QLabel *m_body;
    TintedButton *m_cancel;
};

} // namespace ostrel
