#include "ui/settings/ScheduledDeletionView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/settings/SettingsCard.h"
#include "ui/settings/SettingsStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

ScheduledDeletionView::ScheduledDeletionView(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("scheduledDeletion"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *card = new SettingsCard(8, this, Palette::withOpacity(Palette::errorRed(), 0.4));
    outer->addWidget(card);
    auto *heading = new QHBoxLayout;
    heading->setSpacing(8);
    heading->addWidget(settingsstyle::symbol(card, QStringLiteral("calendar.badge.exclamationmark"), 14,
                                             Palette::errorRed()));
    m_title = settingsstyle::label(card, 13, QFont::DemiBold, Palette::primaryText(card));
    heading->addWidget(m_title, 1);
    card->column()->addLayout(heading);
    m_body = settingsstyle::label(card, 12, QFont::Normal, Palette::secondaryText(card), true);
    m_body->setObjectName(QStringLiteral("deletionBody"));
    card->column()->addWidget(m_body);
    m_cancel = new PrimaryButton(
        OSTREL_KEY("settings.deletion.cancel"), [this] { cancelDeletion(); }, card);
    m_cancel->setObjectName(QStringLiteral("cancelDeletionButton"));
    card->column()->addWidget(m_cancel);
    connect(&m_state, &AppState::sessionChanged, this, &ScheduledDeletionView::refresh);
    refresh();
}

void ScheduledDeletionView::refresh()
{
    const auto &session = m_state.session();
    const bool scheduled = session && session->user && session->user->scheduledDeletionAt;
    setVisible(scheduled);
    const QString language = m_state.language();
    m_title->setText(localized(OSTREL_KEY("settings.deletion.scheduled"), language));
    m_body->setText(scheduled ? LocalizableXCStrings::shared().format(
                                    OSTREL_KEY("settings.deletion.bannerBody %@"),
                                    {settingsstyle::longDate(*session->user->scheduledDeletionAt, language)},
                                    language)
                              : QString());
}

void ScheduledDeletionView::cancelDeletion()
{
    // Follow-ups belong to the account, not to this page: they run even if the page is gone.
    AppState *state = &m_state;
    m_state.apiClient().cancelDeletion(state, [state](const ApiResult<EmptyResponse> &result) {
        if (!result.ok())
            return;
        state->refreshAfterMutation(state, [state] { state->reloadConfiguration(); });
    });
}

void ScheduledDeletionView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

} // namespace ostrel
