#include "ui/auth/AuthForm.h"

#include "api/ApiResult.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/AuthStyle.h"
#include "ui/controls/Palette.h"
#include "ui/controls/TintedButton.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>

namespace ostrel {

AuthForm::AuthForm(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
}

QString AuthForm::failureText(const ApiFailure &failure, const QString &language)
{
    if (const ApiError *error = failure.apiError())
        return error->userMessage(language);
    return localized(QStringLiteral("error.network"), language);
}

QString AuthForm::language() const
{
    return m_state.language();
}

QString AuthForm::text(const QString &key) const
{
    return localized(key, language());
}

QLabel *AuthForm::makeLabel(int pixelSize, int weight, bool secondary, const char *objectName)
{
    auto *label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setFont(systemFont(pixelSize, QFont::Weight(weight)));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    if (secondary)
        setSecondaryText(label);
    return label;
}

TintedButton *AuthForm::makeLink(const char *objectName)
{
    auto *link = new TintedButton(Palette::brandBlue(), this);
    link->setObjectName(QString::fromLatin1(objectName));
    return link;
}

void AuthForm::setLinkText(TintedButton *link, const QString &text)
{
    link->setText(text);
    link->setAccessibleName(text);
    link->updateGeometry();
}

void AuthForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void AuthForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && goBack()) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace ostrel
