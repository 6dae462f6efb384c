#include "ui/auth/OutcomePanel.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/auth/AuthStyle.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

OutcomePanel::OutcomePanel(Content content, std::function<QString()> language, QWidget *parent)
    : QWidget(parent), m_content(std::move(content)), m_language(std::move(language))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(8);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("outcomeIcon"));
    icon->setPixmap(symbolPixmap(m_content.symbol, 34, m_content.tint, devicePixelRatioF()));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("outcomeTitle"));
    m_title->setFont(systemFont(15, QFont::Bold));
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);
    m_body = new QLabel(this);
    m_body->setObjectName(QStringLiteral("outcomeBody"));
    m_body->setFont(systemFont(13));
    m_body->setAlignment(Qt::AlignHCenter);
    m_body->setWordWrap(true);
    setSecondaryText(m_body);
    layout->addWidget(m_body);
    layout->addSpacing(6);
    m_button = new PrimaryButton(m_content.buttonKey, m_content.action, this);
    m_button->setObjectName(QStringLiteral("outcomeButton"));
    layout->addWidget(m_button);
    retranslate();
}

QString OutcomePanel::titleText() const
{
    return m_title->text();
}

void OutcomePanel::retranslate()
{
    const QString language = m_language();
    m_title->setText(localized(m_content.titleKey, language));
    m_body->setText(localized(m_content.bodyKey, language));
    setAccessibleName(m_title->text());
}

void OutcomePanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
