#include "state/UsageMonitor.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"
#include "state/StateField.h"

#include <QPointer>

namespace ostrel {

namespace {

bool isOver(const std::optional<Usage> &usage)
{
    return usage && isOverBandwidthLimit(*usage);
}

BannerState bannerOf(BannerState::Severity severity, QString message, std::optional<QString> hint = {})
{
    BannerState banner;
    banner.severity = severity;
    banner.message = std::move(message);
    banner.hint = std::move(hint);
    return banner;
}

} // namespace

UsageMonitor::UsageMonitor(SessionContext &session, APIClient &api, UrlOpener &urlOpener,
                           LocalizableXCStrings &catalogue, Clock &clock, QObject *parent)
    : QObject(parent), m_session(session), m_api(api), m_urlOpener(urlOpener), m_catalogue(catalogue),
      m_clock(clock)
{
}

QString UsageMonitor::localized(const QString &key) const
{
    return m_catalogue.localized(key, m_session.currentLanguage());
}

bool UsageMonitor::isFreeUser() const
{
    const std::optional<AuthSession> &session = m_session.currentSession();
    return session && session->user && !session->user->isPro();
}

// ---- Fields -------------------------------------------------------------------------------

void UsageMonitor::setBanner(const std::optional<BannerState> &banner)
{
    // Same texts: nothing to publish, but a fresh action must not be lost.
    if (!changeField(this, &UsageMonitor::bannerChanged, m_banner, banner) && banner)
        m_banner = banner;
}

void UsageMonitor::setShowingUpgrade(bool value)
{
    changeField(this, &UsageMonitor::showingUpgradeChanged, m_showingUpgrade, value);
}

bool UsageMonitor::isOverFreeBandwidthLimit() const
{
    return m_usage && m_usage->tier != QLatin1String("pro") && isOverBandwidthLimit(*m_usage);
}

// ---- Usage and the bandwidth limit --------------------------------------------------------

void UsageMonitor::refreshUsage(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    const std::optional<QString> sentWith = m_api.token();
    m_api.fetchUsage(this, [this, sentWith, done](const ApiResult<Usage> &result) {
        if (!result.ok()) {
            Log::line(QStringLiteral("[AppState] usage fetch failed: ") + result.failure().description());
            done();
            return;
        }
        // Another account's figures would replace this one's tier or stop its tunnels.
        if (!m_session.isCurrent(sentWith)) {
            done();
            return;
        }
        const Usage usage = result.value();
        const bool wasOver = isOver(m_usage);
        changeField(this, &UsageMonitor::usageChanged, m_usage, usage);
        const std::optional<AuthSession> &session = m_session.currentSession();
        if (session && session->user && session->user->tier != usage.tier)
            emit tierChanged(usage.tier);
        // Once per crossing: a fetch still over the limit does nothing, one back under re-arms.
        if (isOverBandwidthLimit(usage) && !wasOver && isFreeUser()) {
            emit bandwidthLimitReached();
            showBandwidthLimitBanner();
        }
        done();
    });
}

void UsageMonitor::showBandwidthLimitBanner()
{
    BannerState banner = bannerOf(BannerState::Severity::error,
                                  localized(QStringLiteral("tunnels.list.bandwidthLimit.message")),
                                  localized(QStringLiteral("tunnels.list.bandwidthLimit.hint")));
    banner.actionTitle = localized(QStringLiteral("settings.upgrade.cta"));
    banner.action = [weak = QPointer<UsageMonitor>(this)] {
        if (weak)
            weak->dismissBannerAndUpgrade(UpgradeReason::bandwidthLimit);
    };
    setBanner(banner);
}

// ---- Banner and upgrade -------------------------------------------------------------------

void UsageMonitor::presentError(const ApiFailure &failure)
{
    BannerState banner = bannerOf(BannerState::Severity::error, localized(QStringLiteral("error.network")));
    if (const ApiError *error = failure.apiError()) {
        banner.message = error->userMessage(m_session.currentLanguage());
        if (error->isFreeTierKind()) {
            banner.hint = localized(QStringLiteral("error.upgradeHint.freeTier"));
            banner.actionTitle = localized(QStringLiteral("settings.upgrade.cta"));
            banner.action = [weak = QPointer<UsageMonitor>(this)] {
                if (weak)
                    weak->dismissBannerAndUpgrade(UpgradeReason::manual);
            };
        }
    }
    setBanner(banner);
}

void UsageMonitor::dismissBannerAndUpgrade(UpgradeReason reason)
{
    setBanner(std::nullopt);
    presentUpgrade(reason);
}

void UsageMonitor::presentUpgrade(UpgradeReason reason)
{
    changeField(this, &UsageMonitor::upgradeReasonChanged, m_upgradeReason, reason);
    setShowingUpgrade(true);
}

void UsageMonitor::openCheckout(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    if (m_isOpeningCheckout) {
        done();
        return;
    }
    const auto finish = [this, done](const std::optional<ApiFailure> &failure) {
        if (failure)
            presentError(*failure);
        changeField(this, &UsageMonitor::isOpeningCheckoutChanged, m_isOpeningCheckout, false);
        done();
    };
    changeField(this, &UsageMonitor::isOpeningCheckoutChanged, m_isOpeningCheckout, true);
    m_api.createCheckout(this, [this, finish](const ApiResult<CheckoutResponse> &result) {
        if (!result.ok()) {
            finish(result.failure());
            return;
        }
        // Only a web page goes to the browser: whatever else the answer holds is not opened.
        const QUrl url(result.value().checkoutUrl, QUrl::StrictMode);
        const bool webPage =
            url.isValid() && !url.host().isEmpty() &&
            (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
        if (!webPage) {
            finish(ApiError{
                0, QStringLiteral("INVALID_CHECKOUT_URL"), QStringLiteral("Invalid checkout URL"), {}});
            return;
        }
        if (!m_urlOpener.open(url)) {
            finish(ApiError{0,
                            QStringLiteral("BROWSER_OPEN_FAILED"),
                            localized(QStringLiteral("upgrade.openBrowser.failed")),
                            {}});
            return;
        }
        setShowingUpgrade(false);
        finish(std::nullopt);
    });
}

void UsageMonitor::handleUpgradeSuccess(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    setShowingUpgrade(false);
    // One poll at a time: a new success link (or "check again") starts it over.
    delete std::exchange(m_purchasePoll, new QObject(this));
    upgradeSuccessStep(m_purchasePoll, m_api.token(), 0, std::move(done));
}

void UsageMonitor::upgradeSuccessStep(QObject *job, const std::optional<QString> &sentWith, int attempt,
                                      Done done)
{
    const auto end = [this, job, done](const std::optional<BannerState> &banner) {
        if (banner)
            setBanner(banner);
        if (m_purchasePoll == job)
            m_purchasePoll = nullptr;
        job->deleteLater();
        done();
    };
    // The purchase was made in the session the poll began in: once that has ended, nothing
    // more is fetched or announced.
    if (!m_session.isCurrent(sentWith)) {
        end(std::nullopt);
        return;
    }
    if (attempt == purchasePollRefreshes) {
        BannerState banner =
            bannerOf(BannerState::Severity::info, localized(QStringLiteral("billing.purchase.processing")),
                     localized(QStringLiteral("billing.purchase.processing.hint")));
        banner.actionTitle = localized(QStringLiteral("billing.purchase.checkAgain"));
        banner.action = [weak = QPointer<UsageMonitor>(this)] {
            if (weak)
                weak->handleUpgradeSuccess(nullptr, {});
        };
        end(banner);
        return;
    }
    m_session.refreshUser(job, [this, job, sentWith, attempt, done,
                                end](const std::optional<ApiFailure> &failure) {
        if (!m_session.isCurrent(sentWith)) {
            end(std::nullopt);
            return;
        }
        const std::optional<AuthSession> &session = m_session.currentSession();
        if (failure) {
            Log::line(QStringLiteral("[AppState] handleUpgradeSuccess refresh: ") + failure->description());
        } else if (session && session->user && session->user->tier == QLatin1String("pro")) {
            end(bannerOf(BannerState::Severity::info, localized(QStringLiteral("billing.purchase.success"))));
            return;
        }
        m_clock.singleShot(purchasePollInterval, job, [this, job, sentWith, attempt, done] {
            upgradeSuccessStep(job, sentWith, attempt + 1, done);
        });
    });
}

// ---- Health -------------------------------------------------------------------------------

void UsageMonitor::probeHealth(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    m_api.checkHealth(this, [this, done](const ApiResult<EmptyResponse> &result) {
        changeField(this, &UsageMonitor::apiHealthyChanged, m_apiHealthy, result.ok());
        done();
    });
}

void UsageMonitor::startHealthLoop()
{
    // Never stored, never cancelled.
    auto *job = new QObject(this);
    QMetaObject::invokeMethod(
        job, [this, job] { healthLoopStep(job); }, Qt::QueuedConnection);
}

void UsageMonitor::healthLoopStep(QObject *job)
{
    probeHealth(job,
                [this, job] { m_clock.singleShot(healthPeriod, job, [this, job] { healthLoopStep(job); }); });
}

} // namespace ostrel
