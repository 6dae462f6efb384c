#include "ui/tunnels/TunnelListPage.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FadeIn.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolButton.h"
#include "ui/controls/TintedButton.h"
#include "ui/tunnels/EmptyTunnelsView.h"
#include "ui/tunnels/TunnelListErrorView.h"
#include "ui/tunnels/TunnelListLoadingView.h"
#include "ui/tunnels/TunnelListRefresh.h"
#include "ui/tunnels/TunnelRowsView.h"
#include "ui/upgrade/UsageView.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

namespace {

// Shows `widget` with a short fade, or hides it.
void setShownFading(QWidget *widget, bool shown)
{
    if (shown == !widget->isHidden())
        return;
    widget->setVisible(shown);
    if (shown)
        fadeIn(widget);
}

} // namespace

TunnelListPage::TunnelListPage(AppState &state, Actions actions, QWidget *parent)
    : QWidget(parent), m_state(state), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("tunnelListPage"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("listTitle"));
    m_title->setFont(systemFont(15, QFont::Bold));
    header->addWidget(m_title, 1);
    m_retry = new TintedButton(Palette::brandBlue(), this);
    m_retry->setObjectName(QStringLiteral("retryButton"));
    connect(m_retry, &QAbstractButton::clicked, this, [this] { m_state.reloadConfiguration(); });
    header->addWidget(m_retry);
    m_add = new SymbolButton(QStringLiteral("plus.circle.fill"), 18, OSTREL_KEY("tunnels.list.add"), this);
    m_add->setObjectName(QStringLiteral("addButton"));
    connect(m_add, &QAbstractButton::clicked, this, &TunnelListPage::add);
    header->addWidget(m_add);
    column->addLayout(header);

    m_banner = new ErrorBanner(ErrorBanner::Severity::info, QString(), {}, {}, {}, this);
    m_banner->setObjectName(QStringLiteral("listBanner"));
    m_banner->hide();
    column->addWidget(m_banner);

    m_loading = new TunnelListLoadingView(m_state, this);
    m_error = new TunnelListErrorView(m_state, this);
    m_empty = new EmptyTunnelsView(m_state, this);
    m_rows = new TunnelRowsView(
        m_state,
        [this](const Tunnel &tunnel) {
            if (m_actions.editTunnel)
                m_actions.editTunnel(tunnel);
        },
        this);
    m_rows->setFocusAnchor(m_add);
    m_trailingError = new TunnelListErrorView(m_state, this);
    m_trailingError->setObjectName(QStringLiteral("tunnelsTrailingError"));
    for (QWidget *view :
         {static_cast<QWidget *>(m_loading), static_cast<QWidget *>(m_error), static_cast<QWidget *>(m_empty),
          static_cast<QWidget *>(m_rows), static_cast<QWidget *>(m_trailingError)}) {
        view->hide();
        column->addWidget(view);
    }
    m_usage = new UsageView(m_state, this);
    column->addWidget(m_usage);
    column->addStretch(1);

    m_refresh = new TunnelListRefresh(m_state, this);

    for (auto signal : {&AppState::tunnelsChanged, &AppState::tunnelsLoadedChanged,
                        &AppState::tunnelsLoadErrorChanged, &AppState::frpcConfigChanged,
                        &AppState::frpcConfigErrorChanged, &AppState::isLoadingFrpcConfigChanged})
        connect(&m_state, signal, this, &TunnelListPage::refreshContent);
    connect(&m_state, &AppState::frpcConfigChanged, this, &TunnelListPage::refreshHeader);
    connect(&m_state, &AppState::sessionChanged, this, &TunnelListPage::refreshHeader);
    connect(&m_state, &AppState::bannerChanged, this, &TunnelListPage::refreshBanner);
    connect(&m_state, &AppState::usageChanged, this, &TunnelListPage::refreshUsage);
    retranslate();
    refreshContent();
    refreshBanner();
    refreshUsage();
}

void TunnelListPage::setShown(bool shown)
{
    m_refresh->setPageShown(shown);
}

bool TunnelListPage::showsTrailingError() const
{
    return !m_trailingError->isHidden();
}

void TunnelListPage::add()
{
    // The free plan has room for one tunnel (the service enforces it too).
    if (!m_state.isProUser() && !m_state.tunnels().isEmpty()) {
        m_state.presentUpgrade(UpgradeReason::secondTunnel);
        return;
    }
    if (m_actions.addTunnel)
        m_actions.addTunnel();
}

void TunnelListPage::refreshContent()
{
    const bool loaded = m_state.tunnelsLoaded();
    const bool hasConfig = m_state.frpcConfig().has_value();
    const std::optional<QString> configError = m_state.frpcConfigError();
    Content content = Content::rows;
    if (!loaded && m_state.isLoadingFrpcConfig() && !hasConfig)
        content = Content::loading;
    else if (!loaded && !hasConfig && configError)
        content = Content::configError;
    else if (!loaded && m_state.tunnelsLoadError())
        content = Content::loadError;
    else if (!loaded)
        content = Content::loading;
    else if (m_state.tunnels().isEmpty())
        content = Content::empty;
    m_content = content;
    if (content == Content::configError)
        m_error->setMessage(*configError);
    else if (content == Content::loadError)
        m_error->setMessage(*m_state.tunnelsLoadError());
    m_loading->setVisible(content == Content::loading);
    m_error->setVisible(content == Content::configError || content == Content::loadError);
    m_empty->setVisible(content == Content::empty);
    m_rows->setVisible(content == Content::rows);
    // Tunnels that cannot be started say why after the rows as well.
    const bool trailing = loaded && !hasConfig && configError;
    if (trailing)
        m_trailingError->setMessage(*configError);
    m_trailingError->setVisible(trailing);
    refreshHeader();
}

void TunnelListPage::refreshHeader()
{
    m_retry->setVisible(!m_state.frpcConfig() && m_state.session());
}

void TunnelListPage::refreshBanner()
{
    const std::optional<BannerState> &banner = m_state.banner();
    if (banner) {
        m_banner->setBanner(*banner);
        m_banner->setOnDismiss([this] { m_state.setBanner(std::nullopt); });
    }
    setShownFading(m_banner, banner.has_value());
}

void TunnelListPage::refreshUsage()
{
    if (m_state.usage())
        m_usage->setUsage(*m_state.usage());
    setShownFading(m_usage, m_state.usage().has_value());
}

void TunnelListPage::retranslate()
{
    const QString language = m_state.language();
    m_title->setText(localized(OSTREL_KEY("tunnels.list.title"), language));
    m_title->setAccessibleName(m_title->text());
    m_retry->setText(localized(OSTREL_KEY("tunnels.list.retry"), language));
    m_retry->setToolTip(localized(OSTREL_KEY("tunnels.list.retryHint"), language));
    m_retry->setAccessibleName(m_retry->text());
    m_retry->setAccessibleDescription(m_retry->toolTip());
    m_retry->updateGeometry();
}

void TunnelListPage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
