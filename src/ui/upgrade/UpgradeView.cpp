#include "ui/upgrade/UpgradeView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/upgrade/CheckoutButton.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ostrel {

namespace {

struct FeatureKeys {
    const char *symbol;
    QString title;
    QString subtitle;
};

const QList<FeatureKeys> &featureKeys()
{
    static const QList<FeatureKeys> keys{
        {"infinity", OSTREL_KEY("upgrade.feature.unlimited.title"),
         OSTREL_KEY("upgrade.feature.unlimited.subtitle")},
        {"globe", OSTREL_KEY("upgrade.feature.domains.title"),
         OSTREL_KEY("upgrade.feature.domains.subtitle")},
        {"network", OSTREL_KEY("upgrade.feature.tcp.title"), OSTREL_KEY("upgrade.feature.tcp.subtitle")},
        {"gauge.with.dots.needle.50percent", OSTREL_KEY("upgrade.feature.bandwidth.title"),
         OSTREL_KEY("upgrade.feature.bandwidth.subtitle")},
        {"creditcard", OSTREL_KEY("upgrade.feature.pricing.title"),
         OSTREL_KEY("upgrade.feature.pricing.subtitle")},
    };
    return keys;
}

QLabel *makeLabel(QWidget *parent, const char *name, QFont font, qreal opacity = 1.0)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setWordWrap(true);
    if (opacity < 1.0) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Palette::secondaryText(label));
        label->setPalette(palette);
    }
    return label;
}

} // namespace

UpgradeView::UpgradeView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("UpgradeView"));
    setMaximumWidth(sheetWidth);
    // The sheet scrolls where it does not fit (the popover is 600 high) rather than squeezing
    // its wrapped lines over each other.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto *content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    scroll->setWidget(content);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    QWidget *const page = content;
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 28, 0, 28);
    column->setSpacing(18);

    auto *mark = new OstrelMonogram(56, page);
    auto *glow = new QGraphicsDropShadowEffect(mark);
    glow->setColor(Palette::withOpacity(Palette::brandBlue(), 0.35));
    glow->setBlurRadius(18);
    glow->setOffset(0, 6);
    mark->setGraphicsEffect(glow);
    column->addWidget(mark, 0, Qt::AlignHCenter);

    auto *heading = new QVBoxLayout;
    heading->setSpacing(6);
    m_title = makeLabel(page, "upgradeTitle", systemFont(18, QFont::Bold, -0.2));
    m_subtitle = makeLabel(page, "upgradeSubtitle", systemFont(13), 0.5);
    m_context = makeLabel(page, "upgradeContext", systemFont(12, QFont::Medium));
    QPalette brand = m_context->palette();
    brand.setColor(QPalette::WindowText, Palette::brandBlue());
    m_context->setPalette(brand);
    for (QLabel *label : {m_title, m_subtitle, m_context}) {
        label->setAlignment(Qt::AlignHCenter);
        heading->addWidget(label);
    }
    column->addLayout(heading);

    auto *features = new QVBoxLayout;
    features->setContentsMargins(28, 4, 28, 0);
    features->setSpacing(10);
    for (const FeatureKeys &keys : featureKeys()) {
        auto *row = new QHBoxLayout;
        row->setSpacing(12);
        auto *icon = new QLabel(page);
        icon->setFixedWidth(22);
        icon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        icon->setPixmap(
            symbolPixmap(QString::fromLatin1(keys.symbol), 14, Palette::brandBlue(), devicePixelRatioF()));
        row->addWidget(icon, 0, Qt::AlignTop);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        Feature feature{makeLabel(page, "featureTitle", systemFont(13, QFont::DemiBold)),
                        makeLabel(page, "featureSubtitle", systemFont(12), 0.5), keys.title, keys.subtitle};
        texts->addWidget(feature.title);
        texts->addWidget(feature.subtitle);
        row->addLayout(texts, 1);
        features->addLayout(row);
        m_features.append(feature);
    }
    column->addLayout(features);

    auto *actions = new QVBoxLayout;
    actions->setContentsMargins(28, 0, 28, 0);
    actions->setSpacing(10);
    m_checkout = new CheckoutButton(page);
    connect(m_checkout, &QAbstractButton::clicked, this, &UpgradeView::checkout);
    actions->addWidget(m_checkout);
    m_prompt = makeLabel(page, "upgradePrompt", systemFont(11), 0.5);
    m_prompt->setAlignment(Qt::AlignHCenter);
    m_prompt->setContentsMargins(8, 0, 8, 0);
    actions->addWidget(m_prompt);
    m_dismiss = new QPushButton(page);
    m_dismiss->setObjectName(QStringLiteral("upgradeDismiss"));
    m_dismiss->setFlat(true);
    m_dismiss->setCursor(Qt::PointingHandCursor);
    m_dismiss->setFont(systemFont(13));
    m_dismiss->setStyleSheet(QStringLiteral("QPushButton { border: none; color: %1; padding: 2px 6px; }")
                                 .arg(Palette::secondaryText(this).name(QColor::HexArgb)));
    connect(m_dismiss, &QPushButton::clicked, this, &UpgradeView::dismiss);
    actions->addWidget(m_dismiss, 0, Qt::AlignHCenter);
    column->addLayout(actions);
    column->addStretch(1);
    setTabOrder(m_checkout, m_dismiss);

    connect(&m_state, &AppState::upgradeReasonChanged, this, &UpgradeView::retranslate);
    connect(&m_state, &AppState::isOpeningCheckoutChanged, this, &UpgradeView::refreshState);
    retranslate();
    refreshState();
}

QString UpgradeView::contextKey(UpgradeReason reason)
{
    switch (reason) {
    case UpgradeReason::manual:
        break;
    case UpgradeReason::secondTunnel:
        return OSTREL_KEY("upgrade.context.secondTunnel");
    case UpgradeReason::tcpTunnel:
        return OSTREL_KEY("upgrade.context.tcpTunnel");
    case UpgradeReason::bandwidthLimit:
        return OSTREL_KEY("upgrade.context.bandwidthLimit");
    }
    return {};
}

QString UpgradeView::contextText() const
{
    return m_context->isHidden() ? QString() : m_context->text();
}

void UpgradeView::checkout()
{
    if (m_state.isOpeningCheckout())
        return;
    // The sheet goes first; the request's failure later shows in the popover's banner.
    m_state.setBanner(std::nullopt);
    m_state.setShowingUpgrade(false);
    QMetaObject::invokeMethod(
        &m_state, [state = &m_state] { state->openCheckout(); }, Qt::QueuedConnection);
}

void UpgradeView::dismiss()
{
    if (m_state.showingUpgrade())
        m_state.setShowingUpgrade(false);
}

void UpgradeView::refreshState()
{
    m_checkout->setEnabled(!m_state.isOpeningCheckout());
}

void UpgradeView::retranslate()
{
    const QString language = m_state.language();
    m_title->setText(localized(OSTREL_KEY("upgrade.title"), language));
    m_subtitle->setText(localized(OSTREL_KEY("upgrade.subtitle"), language));
    const QString context = contextKey(m_state.upgradeReason());
    m_context->setVisible(!context.isEmpty());
    m_context->setText(context.isEmpty() ? QString() : localized(context, language));
    for (const Feature &feature : std::as_const(m_features)) {
        feature.title->setText(localized(feature.titleKey, language));
        feature.subtitle->setText(localized(feature.subtitleKey, language));
    }
    m_checkout->setText(localized(OSTREL_KEY("upgrade.openCheckout"), language));
    m_checkout->setAccessibleName(m_checkout->text());
    m_checkout->updateGeometry();
    m_prompt->setText(localized(OSTREL_KEY("upgrade.deepLink.prompt"), language));
    m_dismiss->setText(localized(OSTREL_KEY("upgrade.dismiss"), language));
    m_dismiss->setAccessibleName(m_dismiss->text());
    setAccessibleName(m_title->text());
}

void UpgradeView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The reason of this presentation, and the checkout button ready for Return.
    retranslate();
    refreshState();
    if (m_checkout->isEnabled())
        m_checkout->setFocus(Qt::OtherFocusReason);
}

void UpgradeView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void UpgradeView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
