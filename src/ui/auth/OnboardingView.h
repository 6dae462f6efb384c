#pragma once

#include "ui/auth/AuthForm.h"

class QLabel;
class QStackedWidget;

namespace ostrel {

class AuthFlowView;
class PrimaryButton;
class StepIndicator;
class TintedButton;

// First launch: a welcome step (what the service does, start or skip) and an auth step that
// holds the sign-in area for AppState's authFlow. Skipping marks onboarding completed.
class OnboardingView : public AuthForm {
    Q_OBJECT
public:
    enum class Step { welcome, auth };
    static constexpr int stepCount = 2;
    static constexpr int fadeMilliseconds = 220;

    explicit OnboardingView(AppState &state, QWidget *parent = nullptr);

    Step step() const { return m_step; }
    void setStep(Step step);
    AuthFlowView *authArea() const { return m_authArea; }
    PrimaryButton *startButton() const { return m_start; }
    TintedButton *skipButton() const { return m_skip; }
    TintedButton *backButton() const { return m_back; }

protected:
    void retranslate() override;
    bool goBack() override;

private:
    QWidget *buildWelcome();
    QWidget *buildAuth();

    Step m_step = Step::welcome;
    QStackedWidget *m_pages;
    QLabel *m_tagline;
    TintedButton *m_skip;
    QLabel *m_heading;
    QLabel *m_text;
    QLabel *m_planNote;
    PrimaryButton *m_start;
    StepIndicator *m_welcomeSteps;
    TintedButton *m_back;
    StepIndicator *m_authSteps;
    AuthFlowView *m_authArea;
};

} // namespace ostrel
