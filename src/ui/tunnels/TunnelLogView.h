#pragma once

#include "api/Models.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace ostrel {

class AppState;
class FrpcLogTail;
class TintedButton;

// A window with one tunnel's frpc output, following the log file as it grows (colour codes
// stripped, only the newest lines kept), with copy-all and close; Escape closes it.
class TunnelLogView : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultMaxLines = 2000;

    // `maxLines`: how many lines are kept in memory and shown.
    TunnelLogView(AppState &state, Tunnel tunnel, int maxLines = defaultMaxLines, QWidget *parent = nullptr);

    const Tunnel &tunnel() const { return m_tunnel; }
    QString shownText() const;
    FrpcLogTail &tail() const { return *m_tail; }
    // Puts every line kept on the clipboard.
    void copyAll();

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void retranslate();
    void appendLines(const QStringList &lines);

    AppState &m_state;
    Tunnel m_tunnel;
    FrpcLogTail *m_tail;
    QLabel *m_title;
    QLabel *m_subtitle;
    QPlainTextEdit *m_text;
    TintedButton *m_copy;
    TintedButton *m_close;
};

} // namespace ostrel
