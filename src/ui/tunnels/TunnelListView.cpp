#include "ui/tunnels/TunnelListView.h"

#include "state/AppState.h"
#include "ui/controls/FadeIn.h"
#include "ui/tunnels/AccountDeletionNoticeView.h"
#include "ui/tunnels/CreateTunnelView.h"
#include "ui/tunnels/TunnelListPage.h"

#include <QVBoxLayout>

namespace ostrel {

TunnelListView::TunnelListView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("screen.tunnelList"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_page = new TunnelListPage(m_state,
                                {[this] { showCreate(); }, [this](const Tunnel &t) { showEditor(t); }}, this);
    column->addWidget(m_page);
    connect(&m_state, &AppState::sessionChanged, this, &TunnelListView::refresh);
    refresh();
}

CreateTunnelView *TunnelListView::editor() const
{
    return m_editor.data();
}

AccountDeletionNoticeView *TunnelListView::deletionNotice() const
{
    return m_notice.data();
}

void TunnelListView::showCreate()
{
    m_showingCreate = true;
    refresh();
}

void TunnelListView::showEditor(const Tunnel &tunnel)
{
    m_editingTunnel = tunnel;
    refresh();
}

void TunnelListView::closeEditor()
{
    m_showingCreate = false;
    m_editingTunnel.reset();
    refresh();
}

void TunnelListView::refresh()
{
    const std::optional<AuthSession> &session = m_state.session();
    Mode mode = Mode::list;
    if (session && session->user && session->user->isPendingDeletion())
        mode = Mode::deletionNotice;
    else if (m_showingCreate || m_editingTunnel)
        mode = Mode::editor;
    if (m_hasMode && mode == m_mode)
        return;
    m_hasMode = true;
    m_mode = mode;

    if (mode != Mode::deletionNotice && m_notice) {
        m_notice->hide();
        m_notice->deleteLater();
    }
    if (mode != Mode::editor && m_editor) {
        // The editor may be in the middle of its own signal.
        m_editor->hide();
        m_editor->deleteLater();
    }
    if (mode == Mode::deletionNotice && !m_notice) {
        m_notice = new AccountDeletionNoticeView(m_state, this);
        layout()->addWidget(m_notice);
        fadeIn(m_notice);
    }
    if (mode == Mode::editor && !m_editor) {
        m_editor =
            new CreateTunnelView(m_state, m_showingCreate ? std::optional<Tunnel>() : m_editingTunnel, this);
        connect(m_editor, &CreateTunnelView::closeRequested, this, &TunnelListView::closeEditor);
        layout()->addWidget(m_editor);
        fadeIn(m_editor);
    }
    // The page stays alive under the editor (its rows are kept), but refreshes only when shown.
    const bool listShown = mode == Mode::list;
    m_page->setVisible(listShown);
    m_page->setShown(listShown);
    if (listShown)
        fadeIn(m_page);
}

} // namespace ostrel
