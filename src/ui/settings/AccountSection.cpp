#include "ui/settings/AccountSection.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/settings/PasswordChangeView.h"
#include "ui/settings/ScheduledDeletionView.h"
#include "ui/settings/SettingsCard.h"
#include "ui/settings/SettingsStyle.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel {

AccountSection::AccountSection(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("section.account"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);

    m_deletion = new ScheduledDeletionView(state, this);
    column->addWidget(m_deletion);

    auto *profile = new SettingsCard(10, this);
    profile->setObjectName(QStringLiteral("profileCard"));
    m_profileTitle = settingsstyle::label(profile, 13, QFont::DemiBold, Palette::primaryText(profile));
    profile->column()->addWidget(m_profileTitle);
    m_name = new FieldGroup(OSTREL_KEY("auth.name"), OSTREL_KEY("auth.name.placeholder"), nullptr, nullptr,
                            profile);
    m_name->setObjectName(QStringLiteral("nameField"));
    profile->column()->addWidget(m_name);
    auto *actions = new QHBoxLayout;
    m_savedRow = new QWidget(profile);
    m_savedRow->setObjectName(QStringLiteral("nameSaved"));
    auto *saved = new QHBoxLayout(m_savedRow);
    saved->setContentsMargins(0, 0, 0, 0);
    saved->setSpacing(4);
    saved->addWidget(
        settingsstyle::symbol(m_savedRow, QStringLiteral("checkmark.circle.fill"), 11, Palette::green()));
    m_savedText = settingsstyle::label(m_savedRow, 11, QFont::Normal, Palette::green());
    saved->addWidget(m_savedText);
    actions->addWidget(m_savedRow);
    actions->addStretch(1);
    m_save = new PrimaryButton(
        OSTREL_KEY("settings.account.save"), [this] { saveName(); }, profile);
    m_save->setObjectName(QStringLiteral("saveNameButton"));
    m_save->setMinimumWidth(120);
    m_save->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actions->addWidget(m_save);
    profile->column()->addLayout(actions);
    column->addWidget(profile);

    m_password = new PasswordChangeView(state, this);
    column->addWidget(m_password);
    column->addStretch(1);

    connect(m_name, &FieldGroup::textChanged, this, [this] {
        m_nameError.reset();
        refresh();
    });
    connect(m_name->content(), &QLineEdit::returnPressed, this, [this] {
        if (!m_saving && canSaveProfile())
            saveName();
    });
    connect(&m_state, &AppState::sessionChanged, this, &AccountSection::followUser);
    setTabOrder(m_name, m_save);
    setTabOrder(m_save, m_password->currentField());
    setTabOrder(m_password->currentField(), m_password->newField());
    setTabOrder(m_password->newField(), m_password->revealBox());
    setTabOrder(m_password->revealBox(), m_password->changeButton());
    m_filledName = storedName();
    m_name->setText(m_filledName);
    retranslate();
}

QString AccountSection::storedName() const
{
    const auto &session = m_state.session();
    return session && session->user ? session->user->name.value_or(QString()) : QString();
}

void AccountSection::followUser()
{
    // A record that arrives later (or a name saved elsewhere) fills a field the user has not
    // touched; an edit in progress is kept.
    const QString name = storedName();
    if (m_name->text() == m_filledName && name != m_filledName)
        m_name->setText(name);
    m_filledName = name;
    refresh();
}

bool AccountSection::canSaveProfile() const
{
    return storedName().trimmed() != m_name->text().trimmed();
}

void AccountSection::saveName()
{
    if (m_saving)
        return;
    m_saving = true;
    refresh();
    const QString typed = m_name->text();
    const std::optional<QString> name = typed.trimmed().isEmpty() ? std::nullopt : std::optional(typed);
    m_state.saveProfile(
        name, std::nullopt, std::nullopt, this, [this](const std::optional<ApiFailure> &failure) {
            m_saving = false;
            if (!failure) {
                m_showSaved = true;
                m_state.clock().singleShot(std::chrono::seconds(confirmationSeconds), this, [this] {
                    m_showSaved = false;
                    refresh();
                });
            } else if (const ApiError *error = failure->apiError()) {
                m_nameError = error->userMessage(m_state.language());
            } else {
                m_nameError = localized(OSTREL_KEY("error.generic"), m_state.language());
            }
            refresh();
        });
}

void AccountSection::refresh()
{
    m_name->setErrored(m_nameError.has_value());
    m_name->setSupportText(m_nameError);
    m_save->setLoading(m_saving);
    m_save->setEnabled(!m_saving && canSaveProfile());
    m_savedRow->setVisible(m_showSaved);
}

void AccountSection::retranslate()
{
    const QString language = m_state.language();
    m_profileTitle->setText(localized(OSTREL_KEY("settings.account.profile"), language));
    m_name->setHintText(localized(OSTREL_KEY("settings.account.nameHint"), language));
    m_savedText->setText(localized(OSTREL_KEY("settings.account.saved"), language));
    refresh();
}

void AccountSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
