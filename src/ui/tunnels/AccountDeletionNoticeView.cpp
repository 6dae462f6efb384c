#include "ui/tunnels/AccountDeletionNoticeView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/TintedButton.h"

#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace ostrel {

AccountDeletionNoticeView::AccountDeletionNoticeView(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("deletionNotice"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);
    m_body = new QLabel(this);
    m_body->setObjectName(QStringLiteral("deletionBody"));
    m_body->setFont(systemFont(13));
    m_body->setWordWrap(true);
    column->addWidget(m_body);
    m_cancel = new TintedButton(Palette::errorRed(), this);
    m_cancel->setObjectName(QStringLiteral("cancelDeletion"));
    connect(m_cancel, &QAbstractButton::clicked, this, &AccountDeletionNoticeView::cancelDeletion);
    column->addWidget(m_cancel, 0, Qt::AlignLeft);
    connect(&m_state, &AppState::sessionChanged, this, &AccountDeletionNoticeView::retranslate);
    retranslate();
}

QString AccountDeletionNoticeView::bodyText() const
{
    return m_body->text();
}

void AccountDeletionNoticeView::cancelDeletion()
{
    // A refused cancellation changes nothing: the notice stays with the unchanged user record.
    QPointer<AppState> state(&m_state);
    m_state.apiClient().cancelDeletion(&m_state, [state](const ApiResult<EmptyResponse> &result) {
        if (!state || !result.ok())
            return;
        state->refreshAfterMutation(state, [state] {
            if (state)
                state->reloadConfiguration();
        });
    });
}

void AccountDeletionNoticeView::retranslate()
{
    const QString language = m_state.language();
    QString date;
    if (m_state.session() && m_state.session()->user && m_state.session()->user->scheduledDeletionAt)
        date = QLocale(language).toString(m_state.session()->user->scheduledDeletionAt->toLocalTime().date(),
                                          QLocale::LongFormat);
    m_body->setText(LocalizableXCStrings::shared().format(QStringLiteral("settings.deletion.bannerBody %@"),
                                                          {date}, language));
    m_cancel->setText(localized(OSTREL_KEY("settings.deletion.cancel"), language));
    m_cancel->setAccessibleName(m_cancel->text());
    m_cancel->updateGeometry();
    setAccessibleName(m_body->text());
}

void AccountDeletionNoticeView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Palette::withOpacity(Palette::errorRed(), 0.4), 1));
    painter.setBrush(Palette::withOpacity(Palette::errorRed(), 0.06));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

void AccountDeletionNoticeView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
