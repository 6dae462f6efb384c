#pragma once

#include "ui/controls/FieldGroup.h"

class QAbstractButton;

namespace ostrel {

// A password FieldGroup. With a reveal toggle (an eye button) it switches between hidden and
// plain text, keeping what was typed and where the cursor was.
class PasswordField : public FieldGroup {
    Q_OBJECT
public:
    PasswordField(QString labelKey, QString placeholderKey, bool withRevealToggle, QWidget *parent = nullptr);

    bool isRevealed() const { return m_revealed; }
    void setRevealed(bool revealed);
    // Null without a toggle.
    QAbstractButton *revealToggle() const { return m_toggle; }

signals:
    void revealedChanged(bool revealed);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslateToggle();

    QAbstractButton *m_toggle;
    bool m_revealed = false;
};

} // namespace ostrel
