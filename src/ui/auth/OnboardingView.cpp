#include "ui/auth/OnboardingView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/AuthFlowView.h"
#include "ui/auth/AuthStyle.h"
#include "ui/auth/FeatureBullet.h"
#include "ui/auth/StepIndicator.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/TintedButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace ostrel {

OnboardingView::OnboardingView(AppState &state, QWidget *parent) : AuthForm(state, parent)
{
    setObjectName(QStringLiteral("screen.onboarding"));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildWelcome());
    m_pages->addWidget(buildAuth());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_pages);
    retranslate();
}

QWidget *OnboardingView::buildWelcome()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("welcomeStep"));
    const auto lang = [this] { return language(); };

    auto *brand = new QHBoxLayout;
    brand->setSpacing(10);
    brand->addWidget(new OstrelMonogram(40, page), 0, Qt::AlignVCenter);
    auto *names = new QVBoxLayout;
    names->setSpacing(1);
    auto *name = new QLabel(QStringLiteral("Ostrel"), page);
    name->setFont(systemFont(15, QFont::Bold, 0.3));
    m_tagline = makeLabel(12, QFont::Normal, true, "tagline");
    names->addWidget(name);
    names->addWidget(m_tagline);
    brand->addLayout(names, 1);
    m_skip = makeLink("skip");
    connect(m_skip, &QAbstractButton::clicked, this, [this] { this->state().setOnboardingCompleted(true); });
    brand->addWidget(m_skip, 0, Qt::AlignTop);

    m_heading = makeLabel(20, QFont::Bold, false, "welcomeTitle");
    m_text = makeLabel(13, QFont::Normal, true, "welcomeSubtitle");
    m_planNote = makeLabel(12, QFont::Normal, true, "planNote");
    m_start = new PrimaryButton(
        OSTREL_KEY("onboarding.start"),
        [this] {
            state().setAuthFlow(AuthFlow::signup());
            setStep(Step::auth);
        },
        page);
    m_start->setObjectName(QStringLiteral("start"));
    m_welcomeSteps = new StepIndicator(stepCount, lang, page);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addLayout(brand);
    layout->addSpacing(8);
    for (QLabel *label : {m_tagline, m_heading, m_text, m_planNote})
        label->setParent(page);
    m_skip->setParent(page);
    layout->addWidget(m_heading);
    layout->addWidget(m_text);
    layout->addSpacing(4);
    layout->addWidget(new FeatureBullet(QStringLiteral("globe"),
                                        OSTREL_KEY("onboarding.feature.subdomain.title"),
                                        OSTREL_KEY("onboarding.feature.subdomain.subtitle"), lang, page));
    layout->addWidget(new FeatureBullet(QStringLiteral("bolt.fill"),
                                        OSTREL_KEY("onboarding.feature.router.title"),
                                        OSTREL_KEY("onboarding.feature.router.subtitle"), lang, page));
    layout->addWidget(new FeatureBullet(QStringLiteral("lock.shield.fill"),
                                        OSTREL_KEY("onboarding.feature.tls.title"),
                                        OSTREL_KEY("onboarding.feature.tls.subtitle"), lang, page));
    layout->addSpacing(4);
    layout->addWidget(m_planNote);
    layout->addWidget(m_start);
    layout->addWidget(m_welcomeSteps, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

QWidget *OnboardingView::buildAuth()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("authStep"));
    m_back = makeLink("back");
    m_back->setParent(page);
    connect(m_back, &QAbstractButton::clicked, this, [this] { setStep(Step::welcome); });
    m_authSteps = new StepIndicator(
        stepCount, [this] { return language(); }, page);
    m_authSteps->setCurrent(2);
    m_authArea = new AuthFlowView(state(), true, page);
    auto *top = new QHBoxLayout;
    top->addWidget(m_back);
    top->addStretch(1);
    top->addWidget(m_authSteps);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addWidget(m_authArea);
    layout->addStretch(1);
    return page;
}

void OnboardingView::setStep(Step step)
{
    if (step == m_step)
        return;
    m_step = step;
    m_pages->setCurrentIndex(step == Step::welcome ? 0 : 1);
    m_welcomeSteps->setCurrent(step == Step::welcome ? 1 : 2);
    if (!isVisible())
        return;
    fadeIn(m_pages->currentWidget(), fadeMilliseconds);
    if (step == Step::auth)
        m_authArea->setFocus();
}

void OnboardingView::retranslate()
{
    m_tagline->setText(text(OSTREL_KEY("onboarding.tagline")));
    setLinkText(m_skip, text(OSTREL_KEY("onboarding.skip")));
    m_skip->setToolTip(text(OSTREL_KEY("onboarding.skip.help")));
    m_heading->setText(text(OSTREL_KEY("onboarding.welcome.title")));
    m_text->setText(text(OSTREL_KEY("onboarding.welcome.subtitle")));
    m_planNote->setText(text(OSTREL_KEY("onboarding.planFree")));
    setLinkText(m_back, text(OSTREL_KEY("onboarding.back")));
}

bool OnboardingView::goBack()
{
    if (m_step != Step::auth)
        return false;
    setStep(Step::welcome);
    return true;
}

} // namespace ostrel
