#include "ui/auth/VerifyEmailView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/UrlOpener.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/controls/TintedButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

namespace ostrel {

namespace {
QProgressBar *busyBar(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(48, 4);
    return bar;
}

std::optional<QString> signedInEmail(const AppState &state)
{
    if (!state.session() || !state.session()->user || state.session()->user->email.isEmpty())
        return std::nullopt;
    return state.session()->user->email;
}
} // namespace

VerifyEmailView::VerifyEmailView(AppState &state, UrlOpener *urlOpener, QWidget *parent)
    : AuthForm(state, parent), m_urlOpener(urlOpener)
{
    setObjectName(QStringLiteral("screen.verifyEmail"));
    auto *icon = new QLabel(this);
    icon->setPixmap(symbolPixmap(QStringLiteral("envelope.badge.shield.half.filled"), 34,
                                 Palette::brandBlue(), devicePixelRatioF()));
    m_title = makeLabel(17, QFont::Bold, false, "title");
    m_title->setAlignment(Qt::AlignHCenter);
    m_subtitle = makeLabel(13, QFont::Normal, true, "subtitle");
    m_subtitle->setAlignment(Qt::AlignHCenter);
    m_openMail = new PrimaryButton(
        OSTREL_KEY("verifyEmail.openMail"),
        [this] {
            if (m_urlOpener)
                m_urlOpener->open(contactMailUrl(this->state().publicHost()));
        },
        this);
    m_openMail->setObjectName(QStringLiteral("openMail"));

    auto *resendRow = new QHBoxLayout;
    m_didntGetIt = makeLabel(12, QFont::Normal, true, "didntGetIt");
    m_didntGetIt->setWordWrap(false);
    m_resend = makeLink("resend");
    connect(m_resend, &QAbstractButton::clicked, this, &VerifyEmailView::resend);
    m_busy = busyBar(this);
    resendRow->addStretch(1);
    resendRow->addWidget(m_didntGetIt);
    resendRow->addWidget(m_resend);
    resendRow->addWidget(m_busy, 0, Qt::AlignVCenter);
    resendRow->addStretch(1);

    m_resent = new QWidget(this);
    m_resent->setObjectName(QStringLiteral("resent"));
    auto *resent = new QHBoxLayout(m_resent);
    resent->setContentsMargins(0, 0, 0, 0);
    auto *check = new QLabel(m_resent);
    check->setPixmap(
        symbolPixmap(QStringLiteral("checkmark.circle.fill"), 14, Palette::green(), devicePixelRatioF()));
    m_resentText = new QLabel(m_resent);
    m_resentText->setFont(systemFont(12));
    resent->addStretch(1);
    resent->addWidget(check);
    resent->addWidget(m_resentText);
    resent->addStretch(1);

    m_error = makeLabel(12, QFont::Normal, false, "resendError");
    m_error->setAlignment(Qt::AlignHCenter);
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, Palette::errorRed());
    m_error->setPalette(red);

    m_verifying = new QWidget(this);
    m_verifying->setObjectName(QStringLiteral("verifying"));
    auto *verifying = new QVBoxLayout(m_verifying);
    verifying->setContentsMargins(0, 0, 0, 0);
    m_verifyingText = new QLabel(m_verifying);
    m_verifyingText->setAlignment(Qt::AlignHCenter);
    verifying->addWidget(busyBar(m_verifying), 0, Qt::AlignHCenter);
    verifying->addWidget(m_verifyingText);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addSpacing(4);
    layout->addWidget(m_verifying);
    layout->addWidget(m_openMail);
    layout->addLayout(resendRow);
    layout->addWidget(m_resent);
    layout->addWidget(m_error);
    layout->addStretch(1);

    connect(&state, &AppState::pendingVerificationTokenChanged, this, &VerifyEmailView::takePendingToken);
    connect(&state, &AppState::sessionChanged, this, &VerifyEmailView::retranslate);
    retranslate();
    takePendingToken();
}

QUrl VerifyEmailView::contactMailUrl(const QString &publicHost)
{
    return QUrl(QStringLiteral("mailto:support@") + publicHost);
}

QString VerifyEmailView::subtitleText() const
{
    return m_subtitle->text();
}

void VerifyEmailView::resend()
{
    if (m_resending)
        return;
    const std::optional<QString> email = signedInEmail(state());
    if (!email) {
        m_resendError = text(OSTREL_KEY("error.network"));
        refresh();
        return;
    }
    m_resending = true;
    m_resendError.reset();
    refresh();
    state().apiClient().resendVerification(*email, this, [this](const ApiResult<EmptyResponse> &result) {
        m_resending = false;
        if (result.ok())
            m_didResend = true;
        else
            m_resendError = failureText(result.failure(), language());
        refresh();
    });
}

void VerifyEmailView::takePendingToken()
{
    const std::optional<QString> token = state().pendingVerificationToken();
    if (!token || token == m_localVerifyingToken)
        return;
    m_localVerifyingToken = token;
    refresh();
    // The state outlives this screen, which success replaces before the answer is through; the
    // token is used up either way, so it is cleared whether or not the screen is still there.
    QPointer<VerifyEmailView> self(this);
    AppState *appState = &state();
    appState->signInWithEmailVerification(
        *token, appState, [self, appState, token](const std::optional<ApiFailure> &failure) {
            if (appState->pendingVerificationToken() == token)
                appState->setPendingVerificationToken(std::nullopt);
            if (!self)
                return;
            self->m_localVerifyingToken.reset();
            if (failure)
                self->m_resendError = failureText(*failure, self->language());
            self->refresh();
        });
}

void VerifyEmailView::refresh()
{
    const bool verifying = m_localVerifyingToken.has_value();
    m_verifying->setVisible(verifying);
    m_resend->setEnabled(!m_resending);
    m_busy->setVisible(m_resending);
    m_resent->setVisible(m_didResend && !m_resending);
    m_error->setVisible(m_resendError.has_value());
    m_error->setText(m_resendError.value_or(QString()));
}

void VerifyEmailView::retranslate()
{
    m_title->setText(text(OSTREL_KEY("verifyEmail.title")));
    const std::optional<QString> email = signedInEmail(state());
    m_subtitle->setText(email ? LocalizableXCStrings::shared().format(OSTREL_KEY("verifyEmail.subtitle"),
                                                                      {*email}, language())
                              : text(OSTREL_KEY("verifyEmail.subtitleGeneric")));
    m_didntGetIt->setText(text(OSTREL_KEY("verifyEmail.didntGetIt")));
    setLinkText(m_resend, text(OSTREL_KEY("verifyEmail.resend")));
    m_resentText->setText(text(OSTREL_KEY("verifyEmail.resent")));
    m_verifyingText->setText(text(OSTREL_KEY("verifyEmail.verifying")));
    setAccessibleName(m_title->text());
    refresh();
}

} // namespace ostrel
