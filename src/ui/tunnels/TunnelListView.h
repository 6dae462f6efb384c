#pragma once

#include "api/Models.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace ostrel {

class AccountDeletionNoticeView;
class AppState;
class CreateTunnelView;
class TunnelListPage;

// The tunnel list screen of the popover. It shows the deletion notice while the account is
// scheduled for deletion, the editor (for a new tunnel or one being edited) in place of the
// list while it is open, and the list page otherwise.
class TunnelListView : public QWidget {
    Q_OBJECT
public:
    enum class Mode { deletionNotice, editor, list };

    explicit TunnelListView(AppState &state, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    bool isShowingCreate() const { return m_showingCreate; }
    const std::optional<Tunnel> &editingTunnel() const { return m_editingTunnel; }

    TunnelListPage *page() const { return m_page; }
    CreateTunnelView *editor() const;
    AccountDeletionNoticeView *deletionNotice() const;

    void showCreate();
    void showEditor(const Tunnel &tunnel);
    void closeEditor();

private:
    void refresh();

    AppState &m_state;
    Mode m_mode = Mode::list;
    bool m_hasMode = false;
    bool m_showingCreate = false;
    std::optional<Tunnel> m_editingTunnel;
    TunnelListPage *m_page;
    QPointer<CreateTunnelView> m_editor;
    QPointer<AccountDeletionNoticeView> m_notice;
};

} // namespace ostrel
