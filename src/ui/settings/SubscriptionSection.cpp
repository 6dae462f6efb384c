#include "ui/settings/SubscriptionSection.h"

#include "l10n/LocalizableXCStrings.h"
#include "platform/UrlOpener.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/settings/SettingsCard.h"
#include "ui/settings/SettingsRowButton.h"
#include "ui/settings/SettingsStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

namespace {
struct PlanTexts {
    QString title, price, tagline;
    QStringList features; // tunnels, bandwidth, subdomain, protocols
};

const PlanTexts &planTexts(bool pro)
{
    static const PlanTexts free{OSTREL_KEY("settings.free.title"),
                                OSTREL_KEY("settings.free.price"),
                                OSTREL_KEY("settings.free.tagline"),
                                {OSTREL_KEY("settings.tier.feature.tunnels.free"),
                                 OSTREL_KEY("settings.tier.feature.bandwidth.free"),
                                 OSTREL_KEY("settings.tier.feature.subdomain.free"),
                                 OSTREL_KEY("settings.tier.feature.protocols.free")}};
    static const PlanTexts paid{OSTREL_KEY("settings.pro.title"),
                                OSTREL_KEY("settings.pro.price"),
                                OSTREL_KEY("settings.pro.tagline"),
                                {OSTREL_KEY("settings.tier.feature.tunnels.pro"),
                                 OSTREL_KEY("settings.tier.feature.bandwidth.pro"),
                                 OSTREL_KEY("settings.tier.feature.subdomain.pro"),
                                 OSTREL_KEY("settings.tier.feature.protocols.pro")}};
    return pro ? paid : free;
}
} // namespace

SubscriptionSection::SubscriptionSection(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("section.subscription"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *card = new SettingsCard(14, this);
    outer->addWidget(card);
    outer->addStretch(1);

    auto *header = new QHBoxLayout;
    m_title = settingsstyle::label(card, 18, QFont::Bold, Palette::primaryText(card));
    m_title->setObjectName(QStringLiteral("planTitle"));
    QFont titleFont = m_title->font();
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    m_title->setFont(titleFont);
    header->addWidget(m_title);
    header->addStretch(1);
    m_badge = new QLabel(card);
    m_badge->setObjectName(QStringLiteral("priceBadge"));
    m_badge->setFont(systemFont(12, QFont::DemiBold));
    header->addWidget(m_badge, 0, Qt::AlignVCenter);
    card->column()->addLayout(header);

    m_tagline = settingsstyle::label(card, 12, QFont::Normal, Palette::secondaryText(card), true);
    m_tagline->setObjectName(QStringLiteral("planTagline"));
    card->column()->addWidget(m_tagline);

    auto *features = new QVBoxLayout;
    features->setSpacing(8);
    for (const char *row : {"tunnels", "bandwidth", "subdomain", "protocols"}) {
        auto *line = new QHBoxLayout;
        line->setSpacing(8);
        auto *icon = new QLabel(card);
        icon->setFixedWidth(14);
        line->addWidget(icon);
        QLabel *text = settingsstyle::label(card, 12, QFont::Normal, Palette::primaryText(card));
        text->setObjectName(QStringLiteral("feature.") + QString::fromLatin1(row));
        line->addWidget(text, 1);
        features->addLayout(line);
        m_featureIcons.append(icon);
        m_features.append(text);
    }
    card->column()->addLayout(features);

    m_upgrade = new PrimaryButton(
        OSTREL_KEY("settings.upgrade.cta"), [this] { m_state.presentUpgrade(UpgradeReason::manual); }, card);
    m_upgrade->setObjectName(QStringLiteral("upgradeButton"));
    card->column()->addWidget(m_upgrade);
    m_support = new SettingsRowButton({.symbol = QStringLiteral("envelope"),
                                       .symbolSize = 10,
                                       .symbolBox = 12,
                                       .textSize = 11,
                                       .tint = Palette::brandBlue(),
                                       .horizontalPadding = 2,
                                       .verticalPadding = 2},
                                      card);
    m_support->setObjectName(QStringLiteral("purchaseSupportLink"));
    m_support->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_support, &QAbstractButton::clicked, this,
            [this] { m_state.urlOpener().open(QUrl(QString::fromLatin1(supportURL))); });
    card->column()->addWidget(m_support);

    connect(&m_state, &AppState::sessionChanged, this, &SubscriptionSection::refresh);
    refresh();
}

QStringList SubscriptionSection::featureTexts() const
{
    QStringList texts;
    for (const QLabel *label : m_features)
        texts << label->text();
    return texts;
}

void SubscriptionSection::refresh()
{
    const bool pro = m_state.isProUser();
    const QString language = m_state.language();
    const PlanTexts &plan = planTexts(pro);
    m_title->setText(localized(plan.title, language));
    m_badge->setText(localized(plan.price, language));
    m_badge->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; border-radius: 10px; padding: 3px 10px; }")
            .arg(pro ? Palette::brandBlue().name()
                     : Palette::withOpacity(Palette::secondaryText(this), 0.18).name(QColor::HexArgb),
                 pro ? Palette::white().name() : Palette::secondaryText(this).name()));
    m_tagline->setText(localized(plan.tagline, language));
    for (qsizetype i = 0; i < m_features.size(); ++i) {
        m_features[i]->setText(localized(plan.features[i], language));
        m_featureIcons[i]->setPixmap(
            symbolPixmap(pro ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("checkmark.circle"),
                         12, pro ? Palette::brandBlue() : Palette::secondaryText(this), devicePixelRatioF()));
    }
    m_upgrade->setVisible(!pro);
    m_support->setVisible(pro);
    m_support->setTitle(localized(OSTREL_KEY("settings.purchaseSupport.cta"), language));
}

void SubscriptionSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

} // namespace ostrel
