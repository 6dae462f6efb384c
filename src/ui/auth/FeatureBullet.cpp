#include "ui/auth/FeatureBullet.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/auth/AuthStyle.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

FeatureBullet::FeatureBullet(QString icon, QString titleKey, QString subtitleKey,
                             std::function<QString()> language, QWidget *parent)
    : QWidget(parent), m_titleKey(std::move(titleKey)), m_subtitleKey(std::move(subtitleKey)),
      m_language(std::move(language))
{
    auto *symbol = new QLabel(this);
    symbol->setFixedSize(28, 28);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(symbolPixmap(icon, 18, Palette::brandBlue(), devicePixelRatioF()));
    m_title = new QLabel(this);
    m_title->setFont(systemFont(13, QFont::DemiBold));
    m_title->setWordWrap(true);
    m_subtitle = new QLabel(this);
    m_subtitle->setFont(systemFont(12));
    m_subtitle->setWordWrap(true);
    setSecondaryText(m_subtitle);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    retranslate();
}

void FeatureBullet::retranslate()
{
    const QString language = m_language();
    m_title->setText(localized(m_titleKey, language));
    m_subtitle->setText(localized(m_subtitleKey, language));
    setAccessibleName(m_title->text());
    setAccessibleDescription(m_subtitle->text());
}

void FeatureBullet::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
