#include "ui/upgrade/UpgradeView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

// Interim sheet: the title and a way out; the plan details and checkout arrive with the sheet.
UpgradeView::UpgradeView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("screen.upgrade"));
    auto *layout = new QVBoxLayout(this);
    m_title = new QLabel(localized(OSTREL_KEY("upgrade.title"), m_state.language()), this);
    m_close = new QPushButton(localized(OSTREL_KEY("common.close"), m_state.language()), this);
    m_close->setAccessibleName(m_close->text());
    connect(m_close, &QPushButton::clicked, this, [this] { m_state.setShowingUpgrade(false); });
    layout->addWidget(m_title);
    layout->addWidget(m_close);
    layout->addStretch(1);
}

} // namespace ostrel
