#include "ui/settings/AboutSection.h"

#include "l10n/LocalizableXCStrings.h"
#include "platform/UrlOpener.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/Palette.h"
#include "ui/settings/SettingsCard.h"
#include "ui/settings/SettingsRowButton.h"
#include "ui/settings/SettingsStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

namespace {
struct Link {
    const char *titleKey;
    const char *symbol;
    QString url;
};

QList<Link> linkTable()
{
    const QString web = QString::fromLatin1(AboutSection::webURL);
    return {
        {"settings.about.web", "globe", web},
        {"settings.about.docs", "doc.text", QString::fromLatin1(AboutSection::docsURL)},
        {"settings.about.privacy", "hand.raised", web + QStringLiteral("/privacy")},
        {"settings.about.terms", "doc.text", web + QStringLiteral("/terms")},
        {"settings.about.support", "envelope", QString::fromLatin1(AboutSection::supportURL)},
    };
}

// A build value the build did not set reads as the fallback.
QString orFallback(const QString &value, const char *fallback)
{
    return value.isEmpty() || value == QLatin1String("unknown") ? QString::fromLatin1(fallback) : value;
}
} // namespace

AboutSection::AboutSection(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state), m_version(orFallback(state.buildConfig().appVersion, "0.1.0")),
      m_build(orFallback(state.buildConfig().appBuild, "dev"))
{
    setObjectName(QStringLiteral("section.about"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *card = new SettingsCard(12, this);
    outer->addWidget(card);
    outer->addStretch(1);
    QVBoxLayout *column = card->column();

    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(new OstrelMonogram(36, card));
    auto *names = new QVBoxLayout;
    names->setSpacing(2);
    m_name = settingsstyle::label(card, 16, QFont::Bold, Palette::primaryText(card));
    m_versionLine = settingsstyle::label(card, 11, QFont::Normal, Palette::secondaryText(card));
    m_versionLine->setObjectName(QStringLiteral("versionLine"));
    m_versionLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    names->addWidget(m_name);
    names->addWidget(m_versionLine);
    header->addLayout(names, 1);
    column->addLayout(header);
    column->addWidget(settingsstyle::divider(card, 0.4));

    for (const Link &link : linkTable()) {
        auto *row = new SettingsRowButton({.symbol = QString::fromLatin1(link.symbol),
                                           .symbolSize = 13,
                                           .symbolBox = 18,
                                           .textSize = 13,
                                           .trailingSymbol = QStringLiteral("arrow.up.right.square"),
                                           .symbolTint = Palette::secondaryText(card),
                                           .horizontalPadding = 2,
                                           .verticalPadding = 4},
                                          card);
        row->setObjectName(QString::fromLatin1(link.titleKey));
        row->setProperty("titleKey", QString::fromLatin1(link.titleKey));
        const QString url = link.url;
        connect(row, &QAbstractButton::clicked, this, [this, url] {
            const QUrl parsed(url, QUrl::StrictMode);
            if (parsed.isValid())
                m_state.urlOpener().open(parsed);
        });
        column->addWidget(row);
        m_links.append(row);
    }

    if (!m_state.isProductionBuild()) {
        m_debug = new QWidget(card);
        m_debug->setObjectName(QStringLiteral("aboutDebug"));
        auto *debug = new QVBoxLayout(m_debug);
        debug->setContentsMargins(0, 0, 0, 0);
        debug->setSpacing(12);
        debug->addWidget(settingsstyle::divider(m_debug, 0.4));
        auto *environment = new QHBoxLayout;
        environment->setSpacing(6);
        m_environment = settingsstyle::label(m_debug, 11, QFont::Normal, Palette::tertiaryText(card));
        m_environment->setObjectName(QStringLiteral("environmentLine"));
        environment->addWidget(m_environment);
        m_baseURL = settingsstyle::label(m_debug, 11, QFont::Normal, Palette::tertiaryText(card));
        m_baseURL->setObjectName(QStringLiteral("baseURL"));
        m_baseURL->setTextInteractionFlags(Qt::TextSelectableByMouse);
        environment->addWidget(m_baseURL, 1);
        debug->addLayout(environment);
        debug->addWidget(settingsstyle::divider(m_debug, 0.4));
        const SettingsRowButton::Look tool{.symbol = QStringLiteral("arrow.counterclockwise.circle"),
                                           .symbolSize = 12,
                                           .textSize = 12,
                                           .symbolTint = Palette::brandBlue(),
                                           .horizontalPadding = 2,
                                           .verticalPadding = 3};
        m_reset = new SettingsRowButton(tool, m_debug);
        m_reset->setObjectName(QStringLiteral("onboardingResetButton"));
        connect(m_reset, &QAbstractButton::clicked, this, &AboutSection::resetOnboarding);
        debug->addWidget(m_reset);
        SettingsRowButton::Look upgrade = tool;
        upgrade.symbol = QStringLiteral("bolt.circle");
        m_upgrade = new SettingsRowButton(upgrade, m_debug);
        m_upgrade->setObjectName(QStringLiteral("showUpgradeSheetButton"));
        connect(m_upgrade, &QAbstractButton::clicked, this,
                [this] { m_state.presentUpgrade(UpgradeReason::manual); });
        debug->addWidget(m_upgrade);
        column->addWidget(m_debug);
    }
    retranslate();
}

QString AboutSection::versionText() const
{
    return m_versionLine->text();
}

void AboutSection::resetOnboarding()
{
    // Stored as not completed: the popover shows the welcome again once nobody is signed in.
    m_state.setOnboardingCompleted(false);
    m_resetFlash = true;
    retranslate();
    m_state.clock().singleShot(std::chrono::seconds(flashSeconds), this, [this] {
        m_resetFlash = false;
        retranslate();
    });
}

void AboutSection::retranslate()
{
    const QString language = m_state.language();
    LocalizableXCStrings &catalogue = LocalizableXCStrings::shared();
    m_name->setText(localized(OSTREL_KEY("settings.about.name"), language));
    m_versionLine->setText(
        catalogue.format(OSTREL_KEY("settings.about.version %@ %@"), {m_version, m_build}, language));
    for (SettingsRowButton *row : m_links)
        row->setTitle(localized(row->property("titleKey").toString(), language));
    if (!m_debug)
        return;
    m_environment->setText(
        catalogue.format(OSTREL_KEY("settings.about.environment %@"), {m_state.environment()}, language));
    const QString base = m_state.baseURLString();
    m_baseURL->setText(m_baseURL->fontMetrics().elidedText(base, Qt::ElideMiddle, 220));
    m_baseURL->setToolTip(base);
    m_reset->setTitle(localized(m_resetFlash ? OSTREL_KEY("settings.about.onboardingReset")
                                             : OSTREL_KEY("settings.about.onboardingResetDebug"),
                                language));
    m_reset->setSymbol(m_resetFlash ? QStringLiteral("checkmark.circle.fill")
                                    : QStringLiteral("arrow.counterclockwise.circle"),
                       m_resetFlash ? Palette::green() : Palette::brandBlue());
    m_reset->setToolTip(localized(OSTREL_KEY("settings.about.onboardingReset.help"), language));
    m_upgrade->setTitle(localized(OSTREL_KEY("settings.about.showUpgradeSheetDebug"), language));
    m_upgrade->setToolTip(localized(OSTREL_KEY("settings.about.showUpgradeSheetDebug.help"), language));
}

void AboutSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
