#include "ui/MenuBarView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/LanguageFollower.h"
#include "ui/auth/AuthFlowView.h"
#include "ui/auth/OnboardingView.h"
#include "ui/auth/VerifyEmailView.h"
#include "ui/controls/ConfirmAction.h"
#include "ui/controls/Divider.h"
#include "ui/controls/FadeIn.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PlanBadge.h"
#include "ui/controls/SymbolButton.h"
#include "ui/session/AccountSwitchSheet.h"
#include "ui/tunnels/TunnelListView.h"
#include "ui/upgrade/UpgradeView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

namespace {

// The header's settings button: a 14-pixel symbol in a 26-pixel square.
constexpr int headerSymbolSize = 14;
constexpr int headerSymbolPadding = 6;

void setSecondary(QLabel *label, qreal opacityOfText)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Palette::withOpacity(Palette::primaryText(label), opacityOfText));
    label->setPalette(palette);
}

} // namespace

MenuBarView::MenuBarView(AppState &state, Actions actions, QWidget *parent)
    : QWidget(parent), m_state(state), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("menuBarView"));
    setFixedWidth(contentWidth);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(14, 14, 14, 14);
    root->setSpacing(12);

    // Header: identity, plan badge, settings, log-out.
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("header"));
    auto *header = new QHBoxLayout(m_header);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(10);
    auto *identity = new QVBoxLayout;
    identity->setSpacing(1);
    m_name = new QLabel(m_header);
    m_name->setObjectName(QStringLiteral("identityName"));
    m_name->setFont(systemFont(14, QFont::Bold, 0.3));
    m_detail = new QLabel(m_header);
    m_detail->setObjectName(QStringLiteral("identityDetail"));
    m_detail->setFont(systemFont(12));
    setSecondary(m_detail, 0.55);
    identity->addWidget(m_name);
    identity->addWidget(m_detail);
    header->addLayout(identity, 1);
    m_badge = new PlanBadge(m_header);
    header->addWidget(m_badge, 0, Qt::AlignVCenter);
    m_settingsButton = new SymbolButton(QStringLiteral("gearshape"), headerSymbolSize,
                                        OSTREL_KEY("menubar.settings"), m_header, headerSymbolPadding);
    connect(m_settingsButton, &QAbstractButton::clicked, this, [this] {
        if (m_actions.showSettings)
            m_actions.showSettings();
    });
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    header->addWidget(m_settingsButton, 0, Qt::AlignVCenter);
    m_logoutButton = new ConfirmAction(
        confirmWindow, [this] { m_state.signOut(); }, OSTREL_KEY("settings.danger.logout"),
        OSTREL_KEY("menubar.confirmLogout"),
        ConfirmAction::symbolLabel(QStringLiteral("rectangle.portrait.and.arrow.right"),
                                   OSTREL_KEY("common.confirm")),
        m_header, m_state.clock());
    m_logoutButton->setObjectName(QStringLiteral("logoutButton"));
    header->addWidget(m_logoutButton, 0, Qt::AlignVCenter);
    root->addWidget(m_header);

    m_topDivider = new Divider(this);
    root->addWidget(m_topDivider);

    m_body = new QVBoxLayout;
    m_body->setContentsMargins(0, 0, 0, 0);
    m_body->setSpacing(14);
    root->addLayout(m_body, 1);

    m_bottomDivider = new Divider(this);
    root->addWidget(m_bottomDivider);

    // Footer: environment line, quit.
    m_footer = new QWidget(this);
    m_footer->setObjectName(QStringLiteral("footer"));
    auto *footer = new QHBoxLayout(m_footer);
    footer->setContentsMargins(0, 0, 0, 0);
    footer->setSpacing(8);
    m_environment = new QLabel(m_footer);
    m_environment->setObjectName(QStringLiteral("environmentLine"));
    m_environment->setFont(systemFont(11));
    m_environment->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSecondary(m_environment, 0.30);
    footer->addWidget(m_environment, 1);
    m_quitButton = new ConfirmAction(
        confirmWindow,
        [this] {
            if (m_actions.quit)
                m_actions.quit();
        },
        QString(), OSTREL_KEY("menubar.confirmQuit"),
        ConfirmAction::textLabel(OSTREL_KEY("menubar.quit"), OSTREL_KEY("common.confirm")), m_footer,
        m_state.clock());
    m_quitButton->setObjectName(QStringLiteral("quitButton"));
    footer->addWidget(m_quitButton, 0, Qt::AlignVCenter);
    root->addWidget(m_footer);

    // The upgrade sheet's place: drawn over everything while requested.
    m_upgradeSheet = new QWidget(this);
    m_upgradeSheet->setObjectName(QStringLiteral("upgradeSheet"));
    m_upgradeSheet->setAutoFillBackground(true);
    auto *sheet = new QVBoxLayout(m_upgradeSheet);
    sheet->setContentsMargins(14, 14, 14, 14);
    sheet->addWidget(new UpgradeView(m_state, m_upgradeSheet));
    m_upgradeSheet->hide();
    // Asks before a sign-in link replaces the signed-in account; shows and sizes itself.
    new AccountSwitchSheet(m_state, this);

    connect(&m_state, &AppState::sessionChanged, this, &MenuBarView::refresh);
    connect(&m_state, &AppState::authFlowChanged, this, &MenuBarView::refresh);
    connect(&m_state, &AppState::onboardingCompletedChanged, this, &MenuBarView::refresh);
    connect(&m_state, &AppState::showingUpgradeChanged, this, &MenuBarView::refreshUpgradeSheet);
    followLanguage(this, m_state);

    refresh();
    refreshUpgradeSheet();
    retranslate();
}

QString MenuBarView::language() const
{
    return m_state.language();
}

void MenuBarView::refresh()
{
    refreshScreen();
    refreshHeader();
}

void MenuBarView::refreshScreen()
{
    const PopoverScreen screen =
        PopoverScreen::select(m_state.onboardingCompleted(), m_state.session(), m_state.authFlow());
    const bool framed = screen.kind != PopoverScreen::Kind::onboarding;
    m_header->setVisible(framed);
    m_topDivider->setVisible(framed);
    m_bottomDivider->setVisible(framed);
    m_footer->setVisible(framed);
    if (m_hasScreen && screen == m_screen)
        return;
    // A new screen starts with fresh view state; the old one may be mid-signal, so it goes later.
    if (m_screenWidget) {
        m_screenWidget->hide();
        m_body->removeWidget(m_screenWidget);
        m_screenWidget->deleteLater();
    }
    m_screen = screen;
    m_hasScreen = true;
    m_screenWidget = createScreen(screen);
    m_body->addWidget(m_screenWidget);
    // A new screen's controls join the focus chain at its end, after the footer; Tab must reach
    // them between the header and the footer, as they are seen.
    QWidget *previous = m_logoutButton;
    QList<QWidget *> screenControls;
    for (QWidget *w = m_screenWidget->nextInFocusChain(); w != m_screenWidget; w = w->nextInFocusChain())
        if (m_screenWidget->isAncestorOf(w) && w->focusPolicy() != Qt::NoFocus)
            screenControls.append(w);
    for (QWidget *w : std::as_const(screenControls)) {
        setTabOrder(previous, w);
        previous = w;
    }
    // Assistive technology reads the children in their stacking order: the screen before the
    // footer, where it is seen.
    m_screenWidget->stackUnder(m_bottomDivider);
    chainTabOrder(m_screenWidget);
    fadeIn(m_screenWidget);
}

void MenuBarView::chainTabOrder(QWidget *screen)
{
    // A screen is made after the footer; Tab still goes header, screen, footer, as they are seen.
    QWidgetList controls;
    for (QWidget *widget = nextInFocusChain(); widget != this; widget = widget->nextInFocusChain()) {
        if (screen->isAncestorOf(widget))
            controls << widget;
    }
    QWidget *previous = m_logoutButton;
    for (QWidget *control : std::as_const(controls)) {
        QWidget::setTabOrder(previous, control);
        previous = control;
    }
    QWidget::setTabOrder(previous, m_quitButton);
}

void MenuBarView::fadeIn(QWidget *screen)
{
    // The first screen is simply there (the popover is not shown yet); later ones ease in.
    ostrel::fadeIn(screen, transitionMilliseconds);
}

bool MenuBarView::isTransitioning() const
{
    return m_screenWidget && m_screenWidget->graphicsEffect();
}

QWidget *MenuBarView::createScreen(const PopoverScreen &screen)
{
    using K = PopoverScreen::Kind;
    switch (screen.kind) {
    case K::onboarding:
        return new OnboardingView(m_state, this);
    case K::signIn:
        return new AuthFlowView(m_state, false, this);
    case K::verifyEmail:
        return new VerifyEmailView(m_state, m_actions.urlOpener, this);
    case K::tunnelList:
        return new TunnelListView(m_state, this);
    }
    return nullptr;
}

void MenuBarView::refreshHeader()
{
    const PopoverHeader header = PopoverHeader::forSession(m_state.session());
    m_badge->setVisible(header.showsPlanBadge);
    m_settingsButton->setVisible(header.showsSettings);
    m_logoutButton->setVisible(header.showsLogout);
    const QString language = this->language();
    m_detail->setText(header.email ? *header.email : localized(OSTREL_KEY("onboarding.tagline"), language));
    m_badge->set(localized(header.isPro ? OSTREL_KEY("menubar.pro") : OSTREL_KEY("menubar.free"), language),
                 header.isPro);
    const bool production = m_state.environment() == QLatin1String("production");
    m_environment->setVisible(!production);
    m_environment->setText(m_state.environment() + QStringLiteral(" \u00B7 ") + m_state.baseURLString());
}

void MenuBarView::refreshUpgradeSheet()
{
    const bool showing = m_state.showingUpgrade();
    m_upgradeSheet->setGeometry(rect());
    m_upgradeSheet->setVisible(showing);
    if (showing)
        m_upgradeSheet->raise();
}

void MenuBarView::retranslate()
{
    m_name->setText(localized(OSTREL_KEY("settings.about.name"), language()));
    refreshHeader();
}

void MenuBarView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void MenuBarView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_upgradeSheet->setGeometry(rect());
}

} // namespace ostrel
