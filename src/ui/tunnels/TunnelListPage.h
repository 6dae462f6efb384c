#pragma once

#include "api/Models.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace ostrel {

class AppState;
class EmptyTunnelsView;
class ErrorBanner;
class SymbolButton;
class TintedButton;
class TunnelListErrorView;
class TunnelListLoadingView;
class TunnelListRefresh;
class TunnelRowsView;
class UsageView;

// The list page: the header (title, retry while the server settings are missing, add), the
// popover banner, the loading, error or empty view or the rows, the settings error again after
// the rows, and the usage summary. While shown in an open popover it keeps the list fresh.
class TunnelListPage : public QWidget {
    Q_OBJECT
public:
    // What the content area shows, first matching case first.
    enum class Content { loading, configError, loadError, empty, rows };

    struct Actions {
        std::function<void()> addTunnel;                // the editor for a new tunnel
        std::function<void(const Tunnel &)> editTunnel; // the editor for this tunnel
    };

    TunnelListPage(AppState &state, Actions actions, QWidget *parent = nullptr);

    // The page is on screen (not replaced by the editor); it refreshes only then.
    void setShown(bool shown);

    Content content() const { return m_content; }
    // The server settings error repeated after the rows.
    bool showsTrailingError() const;

    TunnelRowsView *rowsView() const { return m_rows; }
    TintedButton *retryButton() const { return m_retry; }
    SymbolButton *addButton() const { return m_add; }
    ErrorBanner *banner() const { return m_banner; }
    TunnelListErrorView *errorView() const { return m_error; }
    EmptyTunnelsView *emptyView() const { return m_empty; }
    UsageView *usageView() const { return m_usage; }
    TunnelListRefresh &refresher() const { return *m_refresh; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void add();
    void refreshContent();
    void refreshHeader();
    void refreshBanner();
    void refreshUsage();
    void retranslate();

    AppState &m_state;
    Actions m_actions;
    Content m_content = Content::loading;
    QLabel *m_title;
    TintedButton *m_retry;
    SymbolButton *m_add;
    ErrorBanner *m_banner;
    TunnelListLoadingView *m_loading;
    TunnelListErrorView *m_error;
    EmptyTunnelsView *m_empty;
    TunnelRowsView *m_rows;
    TunnelListErrorView *m_trailingError;
    UsageView *m_usage;
    TunnelListRefresh *m_refresh;
};

} // namespace ostrel
