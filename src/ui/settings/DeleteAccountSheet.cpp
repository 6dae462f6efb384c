#include "ui/settings/DeleteAccountSheet.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/settings/SettingsStyle.h"
#include "validation/LoginValidator.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

namespace {
QString normalized(const QString &email)
{
    return email.trimmed().toLower();
}

QString destructiveStyle()
{
    const QColor red = Palette::errorRed();
    return QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 5px;"
                          " padding: 4px 12px; font-weight: 600; }"
                          "QPushButton:disabled { background: %2; }"
                          "QPushButton:focus { border: 2px solid %3; }")
        .arg(red.name(), Palette::withOpacity(red, 0.45).name(QColor::HexArgb),
             Palette::withOpacity(Palette::brandBlue(), 0.75).name(QColor::HexArgb));
}
} // namespace

DeleteAccountSheet::DeleteAccountSheet(AppState &state, std::function<void()> close, QWidget *parent)
    : QWidget(parent), m_state(state), m_closeSheet(std::move(close))
{
    setObjectName(QStringLiteral("deleteAccountSheet"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(settingsstyle::symbol(this, QStringLiteral("trash.fill"), 18, Palette::errorRed()));
    m_heading = settingsstyle::label(this, 16, QFont::Bold, Palette::primaryText(this));
    header->addWidget(m_heading, 1);
    column->addLayout(header);

    // The form.
    m_form = new QWidget(this);
    auto *form = new QVBoxLayout(m_form);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(14);
    m_warning = settingsstyle::label(m_form, 12, QFont::Normal, Palette::secondaryText(this), true);
    form->addWidget(m_warning);
    m_banner = new ErrorBanner(
        ErrorBanner::Severity::error, QString(), {}, {},
        [this] {
            m_genericError.reset();
            refresh();
        },
        m_form);
    m_banner->setObjectName(QStringLiteral("deleteError"));
    form->addWidget(m_banner);
    auto *secure = new QLineEdit;
    secure->setEchoMode(QLineEdit::Password);
    secure->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    m_password = new FieldGroup(OSTREL_KEY("auth.password"), OSTREL_KEY("auth.password.placeholder"), secure,
                                nullptr, m_form);
    m_password->setObjectName(QStringLiteral("deletePassword"));
    form->addWidget(m_password);
    // The placeholder is the account's own address: an unknown key reads as itself.
    const auto &session = m_state.session();
    const QString email = session && session->user ? session->user->email : QString();
    m_email = new FieldGroup(OSTREL_KEY("settings.delete.confirmEmail"), email, nullptr, nullptr, m_form);
    m_email->setObjectName(QStringLiteral("deleteConfirmEmail"));
    form->addWidget(m_email);
    m_acknowledge = new QCheckBox(m_form);
    m_acknowledge->setObjectName(QStringLiteral("deleteAcknowledgement"));
    m_acknowledge->setFont(systemFont(12));
    form->addWidget(m_acknowledge);
    auto *buttons = new QHBoxLayout;
    m_cancel = new QPushButton(m_form);
    m_cancel->setObjectName(QStringLiteral("deleteCancel"));
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_closeSheet(); });
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    m_submit = new QPushButton(m_form);
    m_submit->setObjectName(QStringLiteral("deleteSubmit"));
    m_submit->setStyleSheet(destructiveStyle());
    m_submit->setFont(systemFont(12, QFont::DemiBold));
    connect(m_submit, &QPushButton::clicked, this, &DeleteAccountSheet::submit);
    buttons->addWidget(m_submit);
    form->addLayout(buttons);
    column->addWidget(m_form);

    // The result, in place of the form.
    m_result = new QWidget(this);
    m_result->setObjectName(QStringLiteral("deleteResult"));
    auto *result = new QVBoxLayout(m_result);
    result->setContentsMargins(0, 0, 0, 0);
    result->setSpacing(14);
    auto *done = new QHBoxLayout;
    done->setSpacing(8);
    done->addWidget(
        settingsstyle::symbol(m_result, QStringLiteral("checkmark.circle.fill"), 14, Palette::green()));
    m_resultTitle = settingsstyle::label(m_result, 13, QFont::DemiBold, Palette::primaryText(this));
    done->addWidget(m_resultTitle, 1);
    result->addLayout(done);
    m_resultBody = settingsstyle::label(m_result, 12, QFont::Normal, Palette::secondaryText(this), true);
    m_resultBody->setObjectName(QStringLiteral("deleteResultBody"));
    result->addWidget(m_resultBody);
    result->addSpacing(4);
    m_close = new PrimaryButton(
        OSTREL_KEY("common.close"), [this] { m_closeSheet(); }, m_result);
    m_close->setObjectName(QStringLiteral("deleteClose"));
    result->addWidget(m_close);
    column->addWidget(m_result);
    column->addStretch(1);

    connect(m_password, &FieldGroup::textChanged, this, [this] {
        m_apiPasswordError.reset();
        refresh();
    });
    connect(m_email, &FieldGroup::textChanged, this, [this] {
        m_apiEmailError.reset();
        refresh();
    });
    connect(m_acknowledge, &QCheckBox::toggled, this, &DeleteAccountSheet::refresh);
    for (FieldGroup *field : {m_password, m_email})
        connect(field->content(), &QLineEdit::returnPressed, this, [this] {
            if (canSubmitDeletion())
                submit();
        });
    connect(&m_state, &AppState::sessionChanged, this, &DeleteAccountSheet::refresh);
    setTabOrder(m_password, m_email);
    setTabOrder(m_email, m_acknowledge);
    setTabOrder(m_acknowledge, m_cancel);
    setTabOrder(m_cancel, m_submit);
    retranslate();
}

QSize DeleteAccountSheet::sizeHint() const
{
    return QSize(width, QWidget::sizeHint().height());
}

std::optional<QString> DeleteAccountSheet::emailMismatchMessage() const
{
    const auto &session = m_state.session();
    if (!session || !session->user)
        return std::nullopt;
    const QString typed = normalized(m_email->text());
    if (typed.isEmpty() || typed == session->user->email.toLower())
        return std::nullopt;
    return localized(OSTREL_KEY("settings.delete.emailMismatch"), m_state.language());
}

bool DeleteAccountSheet::canSubmitDeletion() const
{
    const QString password = m_password->text();
    return !m_loading && m_acknowledge->isChecked() && !password.isEmpty() && !m_apiPasswordError &&
           !LoginValidator::validatePassword(password, m_state.language()) &&
           !normalized(m_email->text()).isEmpty() && !m_apiEmailError && !emailMismatchMessage();
}

void DeleteAccountSheet::submit()
{
    const auto &session = m_state.session();
    if (m_loading || m_apiPasswordError || m_apiEmailError || emailMismatchMessage() || !session ||
        !session->user)
        return;
    m_loading = true;
    m_genericError.reset();
    refresh();
    // The stored address, exactly as the record holds it; the typed one only has to match it.
    m_state.apiClient().requestDeletion(
        m_password->text(), session->user->email, this,
        [this](const ApiResult<RequestDeletionResponse> &result) {
            if (result.ok()) {
                const QDateTime scheduledAt = result.value().scheduledAt;
                m_state.refreshAfterMutation(this, [this, scheduledAt] {
                    m_state.reloadConfiguration(this, [this, scheduledAt] {
                        m_scheduledAt = scheduledAt;
                        m_didSchedule = true;
                        m_loading = false;
                        retranslate();
                        m_close->setFocus(Qt::OtherFocusReason);
                    });
                });
                return;
            }
            if (const ApiError *error = result.failure().apiError()) {
                if (error->kind() == ApiError::Kind::unauthorized)
                    m_apiPasswordError = localized(OSTREL_KEY("auth.password.invalid"), m_state.language());
                else
                    m_genericError = error->userMessage(m_state.language());
            } else {
                m_genericError = localized(OSTREL_KEY("error.network"), m_state.language());
            }
            m_loading = false;
            refresh();
        });
}

void DeleteAccountSheet::refresh()
{
    m_form->setVisible(!m_didSchedule);
    m_result->setVisible(m_didSchedule);
    m_banner->setVisible(m_genericError.has_value());
    if (m_genericError)
        m_banner->setMessage(*m_genericError);

    const QString password = m_password->text();
    const std::optional<QString> passwordMessage =
        m_apiPasswordError
            ? m_apiPasswordError
            : (password.isEmpty() ? std::nullopt
                                  : LoginValidator::validatePassword(password, m_state.language()));
    m_password->setErrored(passwordMessage.has_value());
    m_password->setSupportText(passwordMessage);
    const std::optional<QString> emailMessage = m_apiEmailError ? m_apiEmailError : emailMismatchMessage();
    m_email->setErrored(emailMessage.has_value());
    m_email->setSupportText(emailMessage);

    const QString language = m_state.language();
    m_submit->setText(localized(m_loading ? OSTREL_KEY("settings.delete.programming")
                                          : OSTREL_KEY("settings.delete.submit"),
                                language));
    m_submit->setAccessibleName(m_submit->text());
    m_submit->setEnabled(canSubmitDeletion());
    m_password->setEnabled(!m_loading);
    m_email->setEnabled(!m_loading);
}

void DeleteAccountSheet::retranslate()
{
    const QString language = m_state.language();
    m_heading->setText(localized(OSTREL_KEY("settings.danger.deleteAccount"), language));
    m_warning->setText(localized(OSTREL_KEY("settings.delete.warning"), language));
    m_acknowledge->setText(localized(OSTREL_KEY("settings.delete.acknowledgement"), language));
    m_acknowledge->setAccessibleName(m_acknowledge->text());
    m_cancel->setText(localized(OSTREL_KEY("common.cancel"), language));
    m_cancel->setAccessibleName(m_cancel->text());
    m_resultTitle->setText(localized(OSTREL_KEY("settings.deletion.scheduled"), language));
    m_resultBody->setVisible(m_scheduledAt.has_value());
    if (m_scheduledAt)
        m_resultBody->setText(LocalizableXCStrings::shared().format(
            OSTREL_KEY("settings.deletion.scheduledBody %@"),
            {settingsstyle::longDate(*m_scheduledAt, language)}, language));
    refresh();
}

void DeleteAccountSheet::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
