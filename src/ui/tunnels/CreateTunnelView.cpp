#include "ui/tunnels/CreateTunnelView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

// Interim form: names itself and can be closed; the fields arrive with the editor.
CreateTunnelView::CreateTunnelView(AppState &state, std::optional<Tunnel> editing, QWidget *parent)
    : QWidget(parent), m_state(state), m_editing(std::move(editing))
{
    setObjectName(QStringLiteral("screen.createTunnel"));
    auto *layout = new QVBoxLayout(this);
    m_title = new QLabel(
        localized(m_editing ? OSTREL_KEY("tunnels.edit.title") : OSTREL_KEY("tunnels.create.title"),
                  m_state.language()),
        this);
    m_close = new QPushButton(localized(OSTREL_KEY("common.cancel"), m_state.language()), this);
    m_close->setAccessibleName(m_close->text());
    connect(m_close, &QPushButton::clicked, this, &CreateTunnelView::closeRequested);
    layout->addWidget(m_title);
    layout->addWidget(m_close);
    layout->addStretch(1);
}

} // namespace ostrel
