#include "ui/auth/PasswordField.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>

namespace ostrel {

namespace {
// The eye button: "eye.fill" while the text is hidden, "eye.slash.fill" while it shows.
class RevealToggle : public QAbstractButton {
public:
    explicit RevealToggle(QWidget *parent = nullptr) : QAbstractButton(parent)
    {
        setObjectName(QStringLiteral("revealToggle"));
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        // A click must not take the focus (and the cursor) away from the field.
        setFocusPolicy(Qt::TabFocus);
    }
    QSize sizeHint() const override { return QSize(20, 20); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QString symbol = isChecked() ? QStringLiteral("eye.slash.fill") : QStringLiteral("eye.fill");
        paintSymbol(painter, QRectF(rect()).adjusted(2, 2, -2, -2), symbol, Palette::secondaryText(this));
    }
};

QLineEdit *secureEdit()
{
    auto *edit = new QLineEdit;
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}
} // namespace

PasswordField::PasswordField(QString labelKey, QString placeholderKey, bool withRevealToggle, QWidget *parent)
    : FieldGroup(std::move(labelKey), std::move(placeholderKey), secureEdit(),
                 withRevealToggle ? new RevealToggle : nullptr, parent),
      m_toggle(static_cast<QAbstractButton *>(trailing()))
{
    if (m_toggle)
        connect(m_toggle, &QAbstractButton::toggled, this, &PasswordField::setRevealed);
    retranslateToggle();
}

void PasswordField::setRevealed(bool revealed)
{
    if (revealed == m_revealed)
        return;
    m_revealed = revealed;
    QLineEdit *edit = content();
    const int cursor = edit->cursorPosition();
    edit->setEchoMode(revealed ? QLineEdit::Normal : QLineEdit::Password);
    edit->setCursorPosition(cursor);
    if (m_toggle) {
        m_toggle->setChecked(revealed);
        retranslateToggle();
    }
    emit revealedChanged(revealed);
}

void PasswordField::retranslateToggle()
{
    if (!m_toggle)
        return;
    const QString help =
        localized(m_revealed ? QStringLiteral("auth.password.hide") : QStringLiteral("auth.password.show"));
    m_toggle->setToolTip(help);
    m_toggle->setAccessibleName(help);
    m_toggle->update();
}

void PasswordField::changeEvent(QEvent *event)
{
    FieldGroup::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslateToggle();
}

} // namespace ostrel
