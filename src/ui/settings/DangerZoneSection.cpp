#include "ui/settings/DangerZoneSection.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/ConfirmAction.h"
#include "ui/controls/Palette.h"
#include "ui/controls/TintedButton.h"
#include "ui/settings/SettingsStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

namespace {
// Idle: "Log out" in a thin rounded outline; armed: "Confirm" in red, no outline.
LabelContent signOutLabel()
{
    const QString idleKey = OSTREL_KEY("settings.danger.logout");
    const QString armedKey = OSTREL_KEY("common.confirm");
    LabelContent content;
    content.text = [=](bool armed) { return localized(armed ? armedKey : idleKey); };
    content.size = [=](const QWidget &, bool armed) {
        const QFontMetrics metrics(systemFont(12, armed ? QFont::DemiBold : QFont::Normal));
        const QString text = localized(armed ? armedKey : idleKey);
        return QSize(metrics.horizontalAdvance(text) + 20, metrics.height() + 6);
    };
    content.paint = [=](QPainter &painter, const QRectF &rect, const QWidget &owner, bool armed) {
        painter.setRenderHint(QPainter::Antialiasing);
        if (armed) {
            painter.setFont(systemFont(12, QFont::DemiBold));
            painter.setPen(Palette::errorRed());
            painter.drawText(rect, Qt::AlignCenter, localized(armedKey));
            return;
        }
        painter.setPen(QPen(Palette::withOpacity(Palette::secondaryText(&owner), 0.4), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        painter.setFont(systemFont(12));
        painter.setPen(Palette::primaryText(&owner));
        painter.drawText(rect, Qt::AlignCenter, localized(idleKey));
    };
    return content;
}
} // namespace

DangerZoneSection::DangerZoneSection(AppState &state, std::function<void()> showDeleteSheet, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("section.danger"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);

    const auto addRow = [&](const QString &symbol, const QColor &symbolColor, QLabel *&title,
                            QLabel *&subtitle, const QColor &titleColor, QWidget *control) {
        auto *row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(settingsstyle::symbol(this, symbol, 14, symbolColor, 18), 0, Qt::AlignTop);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        title = settingsstyle::label(this, 13, QFont::DemiBold, titleColor);
        subtitle = settingsstyle::label(this, 11, QFont::Normal, Palette::secondaryText(this), true);
        texts->addWidget(title);
        texts->addWidget(subtitle);
        row->addLayout(texts, 1);
        row->addWidget(control, 0, Qt::AlignVCenter);
        column->addLayout(row);
    };

    m_signOut = new ConfirmAction(
        confirmWindow, [this] { m_state.signOut(); }, OSTREL_KEY("settings.danger.logout"),
        OSTREL_KEY("menubar.confirmLogout"), signOutLabel(), this, m_state.clock());
    m_signOut->setObjectName(QStringLiteral("signOutButton"));
    addRow(QStringLiteral("rectangle.portrait.and.arrow.right"), Palette::secondaryText(this), m_signOutTitle,
           m_signOutSubtitle, Palette::primaryText(this), m_signOut);
    column->addWidget(settingsstyle::divider(this, 0.4));
    m_delete = new TintedButton(Palette::errorRed(), this);
    m_delete->setObjectName(QStringLiteral("deleteAccountButton"));
    connect(m_delete, &QAbstractButton::clicked, this, [showDeleteSheet] {
        if (showDeleteSheet)
            showDeleteSheet();
    });
    addRow(QStringLiteral("trash"), Palette::errorRed(), m_deleteTitle, m_deleteSubtitle, Palette::errorRed(),
           m_delete);
    column->addStretch(1);
    retranslate();
}

void DangerZoneSection::retranslate()
{
    const QString language = m_state.language();
    m_signOutTitle->setText(localized(OSTREL_KEY("settings.danger.logout"), language));
    m_signOutSubtitle->setText(localized(OSTREL_KEY("settings.danger.logoutSubtitle"), language));
    m_deleteTitle->setText(localized(OSTREL_KEY("settings.danger.deleteAccount"), language));
    m_deleteSubtitle->setText(localized(OSTREL_KEY("settings.danger.deleteAccountSubtitle"), language));
    m_delete->setText(localized(OSTREL_KEY("settings.danger.deleteAccountCta"), language));
    m_delete->setAccessibleName(m_deleteTitle->text());
    m_delete->updateGeometry();
}

void DangerZoneSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
