// A tunnel's log window, and the frpc failure explained on its row, offscreen.

#include "frpc/FrpcLogTail.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "ui/app/PopoverHarness.h"
#include "ui/app/ShellHarness.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolButton.h"
#include "ui/tunnels/TunnelListPage.h"
#include "ui/tunnels/TunnelListView.h"
#include "ui/tunnels/TunnelLogView.h"
#include "ui/tunnels/TunnelRow.h"
#include "ui/tunnels/TunnelRowsView.h"
#include <QClipboard>
#include <QMenu>

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

void write(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::Append)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | mode));
    file.write(bytes);
}

} // namespace

class TestTunnelLog : public QObject {
    Q_OBJECT
private slots:
    // Started with nothing listening on its local port: the row says so in both languages, and
    // the log opened from the more menu shows frpc's line without its colour codes.
    void rowExplainsTheFailureAndOpensTheLog()
    {
        ServiceScript script;
        script.tunnels = {tunnelJson("t1", "demo")};
        ShellHarness shell({.onboardingCompleted = true}, script);
        shell.installFrpc(
            "printf '\\033[1;31m2026-12-06 22:00:00.000 [E] [client/proxy/proxy.go:241] [u1-t1] "
            "connect to local service [127.0.0.1:3000] error: dial tcp 127.0.0.1:3000: connect: "
            "connection refused\\033[0m\\n'\n");
        AppState &state = *shell.state;
        Popover popover(state);
        state.handleDeepLink("ostrel://magic-link?token=good");
        QTRY_VERIFY(state.frpcConfig() && state.tunnelsLoaded());
        auto *list = qobject_cast<TunnelListView *>(popover.view->screenWidget());
        QTRY_VERIFY(list && list->page() && !list->page()->rowsView()->rows().isEmpty());
        TunnelRow *row = list->page()->rowsView()->rows().first();

        state.startTunnel(state.tunnels().first());
        QTRY_COMPARE(row->noticeText(), localized("tunnels.failure.localRefused", "en"));
        QCOMPARE(row->noticeColor(), Palette::orange());
        saveScreenshots(state, popover.window, "tunnel-row-local-refused");
        QTRY_COMPARE(row->noticeText(), localized("tunnels.failure.localRefused", "en"));

        QTest::mouseClick(row->moreButton(), Qt::LeftButton);
        QTRY_VERIFY(row->moreMenu());
        row->moreMenu()->findChild<QAction *>("tunnels.list.log")->trigger();
        QTRY_VERIFY(row->logView() && row->logView()->isVisible());
        TunnelLogView *log = row->logView();
        QTRY_VERIFY(log->shownText().contains("[u1-t1] connect to local service [127.0.0.1:3000] error"));
        QVERIFY(!log->shownText().contains(QChar(0x1b)));
        QCOMPARE(log->findChild<QPlainTextEdit *>()->accessibleName(), localized("tunnels.log.output", "en"));
        saveScreenshots(state, *log, "tunnel-log");
        QTest::keyClick(log->findChild<QPlainTextEdit *>(), Qt::Key_Escape);
        QTRY_VERIFY(!row->logView());
    }

    // The window follows a file that does not exist yet as it grows, keeps only its newest
    // lines, reads a truncated file from its start, and copies what it keeps.
    void logFollowsAGrowingFileWithinItsCap()
    {
        ShellHarness shell({.onboardingCompleted = true});
        Tunnel tunnel;
        tunnel.id = "t9";
        tunnel.subdomain = "demo";
        const QString path = shell.state->frpc().logPath(tunnel.id);
        TunnelLogView log(*shell.state, tunnel, 5);
        log.show();
        QCOMPARE(log.shownText(), QString());

        write(path, "one\ntw");
        QTRY_COMPARE(log.shownText(), QString("one"));
        write(path, "o\n\x1b[1;34mthree\x1b[0m\n");
        QTRY_COMPARE(log.shownText(), QString("one\ntwo\nthree"));
        QByteArray many;
        for (int i = 4; i <= 20; ++i)
            many += "line " + QByteArray::number(i) + '\n';
        write(path, many);
        const QString newest = "line 16\nline 17\nline 18\nline 19\nline 20";
        QTRY_COMPARE(log.shownText(), newest);
        QCOMPARE(log.tail().lines().size(), qsizetype(5));
        QCOMPARE(log.tail().droppedLines(), qint64(15));

        write(path, "next run\n", QIODevice::Truncate);
        QTRY_VERIFY(log.shownText().endsWith("line 20\nnext run"));
        log.copyAll();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString("line 17\nline 18\nline 19\nline 20\nnext run"));
    }
};

QTEST_MAIN(TestTunnelLog)
#include "test_tunnel_log.moc"
