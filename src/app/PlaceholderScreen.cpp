#include "app/PlaceholderScreen.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/controls/TintedButton.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

PlaceholderScreen::PlaceholderScreen(Content content, std::function<QString()> language, QWidget *parent)
    : QWidget(parent), m_content(std::move(content)), m_language(std::move(language))
{
    setObjectName(m_content.screenName);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 24, 0, 8);
    layout->setSpacing(8);

    if (m_content.symbol.isEmpty()) {
        auto *mark = new OstrelMonogram(56, this);
        layout->addWidget(mark, 0, Qt::AlignHCenter);
    } else {
        auto *icon = new QLabel(this);
        icon->setPixmap(symbolPixmap(m_content.symbol, 30, Palette::brandBlue(), devicePixelRatioF()));
        icon->setAccessibleName(QString()); // decorative: the title names the screen
        layout->addWidget(icon, 0, Qt::AlignHCenter);
    }
    layout->addSpacing(4);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("title"));
    m_title->setFont(systemFont(17, QFont::Bold));
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);

    m_subtitle = new QLabel(this);
    m_subtitle->setObjectName(QStringLiteral("subtitle"));
    m_subtitle->setFont(systemFont(13));
    m_subtitle->setAlignment(Qt::AlignHCenter);
    m_subtitle->setWordWrap(true);
    QPalette secondary = m_subtitle->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryText(this));
    m_subtitle->setPalette(secondary);
    layout->addWidget(m_subtitle);

    if (!m_content.buttonKey.isEmpty()) {
        layout->addSpacing(8);
        m_button = new TintedButton(Palette::brandBlue(), this);
        m_button->setObjectName(m_content.buttonKey);
        if (m_content.action)
            connect(m_button, &QAbstractButton::clicked, this, [action = m_content.action] { action(); });
        layout->addWidget(m_button, 0, Qt::AlignHCenter);
    }
    layout->addStretch(1);
    retranslate();
}

std::function<QString(const QString &)> PlaceholderScreen::keyText(const QString &key)
{
    return [key](const QString &language) { return localized(key, language); };
}

QString PlaceholderScreen::titleText() const
{
    return m_title->text();
}

QString PlaceholderScreen::subtitleText() const
{
    return m_subtitle->text();
}

void PlaceholderScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void PlaceholderScreen::retranslate()
{
    const QString language = m_language ? m_language() : QString();
    m_title->setText(localized(m_content.titleKey, language));
    m_subtitle->setText(m_content.subtitle ? m_content.subtitle(language) : QString());
    m_subtitle->setVisible(!m_subtitle->text().isEmpty());
    setAccessibleName(m_title->text());
    if (m_button) {
        m_button->setText(localized(m_content.buttonKey, language));
        m_button->setAccessibleName(m_button->text());
    }
}

} // namespace ostrel
