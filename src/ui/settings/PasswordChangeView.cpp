#include "ui/settings/PasswordChangeView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "state/AppState.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/settings/SettingsCard.h"
#include "ui/settings/SettingsStyle.h"
#include "validation/LoginValidator.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel {

namespace {
QString kindName(ApiError::Kind kind)
{
    using K = ApiError::Kind;
    switch (kind) {
    case K::unauthorized:
        return QStringLiteral("unauthorized");
    case K::forbidden:
        return QStringLiteral("forbidden");
    case K::conflict:
        return QStringLiteral("conflict");
    case K::validation:
        return QStringLiteral("validation");
    case K::rateLimit:
        return QStringLiteral("rateLimit");
    case K::freeTierLimit:
        return QStringLiteral("freeTierLimit");
    case K::freeTierProtocolNotAllowed:
        return QStringLiteral("freeTierProtocolNotAllowed");
    case K::bandwidthLimitExceeded:
        return QStringLiteral("bandwidthLimitExceeded");
    case K::accountPendingDeletion:
        return QStringLiteral("accountPendingDeletion");
    case K::emailNotVerified:
        return QStringLiteral("emailNotVerified");
    case K::server:
        return QStringLiteral("server");
    case K::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QLineEdit *passwordEdit()
{
    auto *edit = new QLineEdit;
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}
} // namespace

PasswordChangeView::PasswordChangeView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("passwordCard"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *card = new SettingsCard(10, this);
    outer->addWidget(card);
    QVBoxLayout *column = card->column();

    m_title = settingsstyle::label(card, 13, QFont::DemiBold, Palette::primaryText(card));
    column->addWidget(m_title);
    m_current = new FieldGroup(OSTREL_KEY("settings.account.currentPassword"),
                               OSTREL_KEY("settings.account.currentPassword"), passwordEdit(), nullptr, card);
    m_current->setObjectName(QStringLiteral("currentPassword"));
    column->addWidget(m_current);
    m_new = new FieldGroup(OSTREL_KEY("settings.account.newPassword"),
                           OSTREL_KEY("settings.account.newPassword"), passwordEdit(), nullptr, card);
    m_new->setObjectName(QStringLiteral("newPassword"));
    column->addWidget(m_new);

    auto *actions = new QHBoxLayout;
    m_reveal = new QCheckBox(card);
    m_reveal->setObjectName(QStringLiteral("revealPassword"));
    m_reveal->setFont(systemFont(11));
    actions->addWidget(m_reveal);
    actions->addStretch(1);
    m_change = new PrimaryButton(
        OSTREL_KEY("settings.account.changePassword"), [this] { changePassword(); }, card);
    m_change->setObjectName(QStringLiteral("changePasswordButton"));
    m_change->setMinimumWidth(170);
    m_change->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actions->addWidget(m_change);
    column->addLayout(actions);

    m_changedRow = new QWidget(card);
    m_changedRow->setObjectName(QStringLiteral("passwordChanged"));
    auto *changed = new QHBoxLayout(m_changedRow);
    changed->setContentsMargins(0, 0, 0, 0);
    changed->setSpacing(4);
    changed->addWidget(
        settingsstyle::symbol(m_changedRow, QStringLiteral("checkmark.circle.fill"), 10, Palette::green()));
    m_changedText = settingsstyle::label(m_changedRow, 10, QFont::Normal, Palette::secondaryText(card));
    changed->addWidget(m_changedText, 1);
    column->addWidget(m_changedRow);

    connect(m_current, &FieldGroup::textChanged, this, [this] {
        m_currentError.reset();
        validateNewPassword(m_new->text());
    });
    connect(m_new, &FieldGroup::textChanged, this,
            [this](const QString &text) { validateNewPassword(text); });
    connect(m_reveal, &QCheckBox::toggled, this, [this](bool revealed) {
        const auto mode = revealed ? QLineEdit::Normal : QLineEdit::Password;
        m_current->content()->setEchoMode(mode);
        m_new->content()->setEchoMode(mode);
    });
    for (FieldGroup *field : {m_current, m_new})
        connect(field->content(), &QLineEdit::returnPressed, this, [this] {
            if (canChangePassword())
                changePassword();
        });
    retranslate();
}

void PasswordChangeView::validateNewPassword(const QString &value)
{
    m_newError.reset();
    m_newHintOk = false;
    if (!value.isEmpty()) {
        if (const auto rule = LoginValidator::validatePassword(value, m_state.language())) {
            m_newError = rule;
        } else if (m_current->text().trimmed().isEmpty()) {
            m_newHintOk = true;
        } else if (value.trimmed() == m_current->text().trimmed()) {
            m_newError =
                localized(OSTREL_KEY("settings.account.passwordError.sameAsCurrent"), m_state.language());
        } else {
            m_newHintOk = true;
        }
    }
    refresh();
}

bool PasswordChangeView::canChangePassword() const
{
    return !m_saving && !m_current->text().isEmpty() && !m_new->text().isEmpty() &&
           !LoginValidator::validatePassword(m_new->text(), m_state.language()) && !m_currentError &&
           !m_newError;
}

void PasswordChangeView::changePassword()
{
    if (m_saving)
        return;
    m_saving = true;
    refresh();
    m_state.apiClient().changePassword(
        m_current->text(), m_new->text(), this, [this](const ApiResult<EmptyResponse> &result) {
            m_saving = false;
            const QString language = m_state.language();
            if (result.ok()) {
                m_current->setText(QString());
                m_new->setText(QString());
                m_currentError.reset();
                m_newError.reset();
                m_newHintOk = false;
                m_showChanged = true;
                m_state.clock().singleShot(std::chrono::seconds(confirmationSeconds), this, [this] {
                    m_showChanged = false;
                    refresh();
                });
            } else if (const ApiError *error = result.failure().apiError()) {
                Log::line(QStringLiteral(
                              "[AccountSection] changePassword failed: status=%1 kind=%2 code=%3 message=%4")
                              .arg(error->statusCode)
                              .arg(kindName(error->kind()), error->code, error->message));
                if (error->kind() == ApiError::Kind::unauthorized)
                    m_currentError = localized(OSTREL_KEY("auth.password.invalid"), language);
                else
                    m_newError = error->userMessage(language);
            } else {
                Log::line(QStringLiteral("[AccountSection] changePassword network error: ") +
                          result.failure().description());
                m_newError = localized(OSTREL_KEY("error.generic"), language);
            }
            refresh();
        });
}

void PasswordChangeView::refresh()
{
    m_current->setErrored(m_currentError.has_value());
    m_current->setSupportText(m_currentError);
    m_new->setErrored(m_newError.has_value());
    m_new->setSupportText(m_newError);
    m_new->setHintText(m_newHintOk ? std::optional<QString>(localized(
                                         OSTREL_KEY("settings.account.passwordHint.ok"), m_state.language()))
                                   : std::nullopt);
    m_change->setLoading(m_saving);
    m_change->setEnabled(canChangePassword());
    m_changedRow->setVisible(m_showChanged);
}

void PasswordChangeView::retranslate()
{
    const QString language = m_state.language();
    m_title->setText(localized(OSTREL_KEY("auth.password"), language));
    m_reveal->setText(localized(OSTREL_KEY("auth.password.show"), language));
    m_reveal->setAccessibleName(m_reveal->text());
    m_changedText->setText(localized(OSTREL_KEY("settings.account.changed"), language));
    refresh();
}

void PasswordChangeView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
