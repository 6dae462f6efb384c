// The tunnel list page, its rows and sharing, the usage summary and the upgrade sheet, driven
// through a real AppState against a scripted service, offscreen.

#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "support/WidgetTest.h"
#include "ui/app/PopoverHarness.h"
#include "ui/app/ShellHarness.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolButton.h"
#include "ui/controls/TintedButton.h"
#include "ui/tunnels/CreateTunnelView.h"
#include "ui/tunnels/DeleteTunnelConfirmation.h"
#include "ui/tunnels/EmptyTunnelsView.h"
#include "ui/tunnels/StartStopButton.h"
#include "ui/tunnels/TunnelAddressButton.h"
#include "ui/tunnels/TunnelListErrorView.h"
#include "ui/tunnels/TunnelListPage.h"
#include "ui/tunnels/TunnelListRefresh.h"
#include "ui/tunnels/TunnelListView.h"
#include "ui/tunnels/TunnelLogView.h"
#include "ui/tunnels/TunnelQRCodeView.h"
#include "ui/tunnels/TunnelRow.h"
#include "ui/tunnels/TunnelRowsView.h"
#include "ui/upgrade/CheckoutButton.h"
#include "ui/upgrade/UpgradeView.h"
#include "ui/upgrade/UsageView.h"
#include <QApplication>
#include <QClipboard>
#include <QPushButton>

#include <zbar.h>

#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

Usage usage(const QString &tier, qint64 used, qint64 limit, int percent)
{
    return std::get<Usage>(
        Usage::fromJson(QJsonDocument::fromJson(usageJson(tier, used, limit, percent)).object()));
}

// The popover, and its list's rows once they are on screen.
struct ListPopover : Popover {
    using Popover::Popover;
    TunnelListView *list() const { return qobject_cast<TunnelListView *>(view->screenWidget()); }
    TunnelListPage *page() const { return list() ? list()->page() : nullptr; }
    // Rows added to a shown list appear on the next event.
    TunnelRow *row(int index) const
    {
        TunnelRow *row = page()->rowsView()->rows().value(index);
        if (row && !row->isVisible())
            (void)QTest::qWaitFor([row] { return row->isVisible(); });
        return row;
    }
};

// The scripted service of the shell tests, plus what the list needs: a usage record, a refused
// configuration or list, deletion and checkout; and a count of list and usage requests.
struct ListHarness {
    explicit ListHarness(const QJsonArray &tunnels = {}, const QString &tier = QStringLiteral("free"))
        : shell({.onboardingCompleted = true}, ServiceScript{.tier = tier, .tunnels = tunnels})
    {
        shell.server.setHandler([this](const RecordedRequest &request) {
            const QByteArray path = request.path();
            if (path == "/tunnels" && request.method == "GET" && listFails)
                return refused(500, "INTERNAL", R"("down")");
            if (path == "/users/me/usage")
                return ScriptedResponse::json(200, usage);
            if (path == "/auth/frpc-config" && configFails)
                return refused(500, "INTERNAL", R"("down")");
            if (path.startsWith("/tunnels/") && request.method == "DELETE") {
                const QByteArray id = path.mid(9);
                QJsonArray kept;
                for (const QJsonValue &t : std::as_const(shell.script.tunnels))
                    if (t["id"].toString().toUtf8() != id)
                        kept.append(t);
                shell.script.tunnels = kept;
                return ScriptedResponse::noContent();
            }
            if (path == "/billing/lemonsqueezy/checkout")
                return ScriptedResponse::json(200, R"({"checkoutUrl":"https://pay.example/checkout/42"})");
            return shell.answer(request);
        });
        shell.installFrpc();
    }

    AppState &state() { return *shell.state; }
    void signIn()
    {
        state().handleDeepLink(QStringLiteral("ostrel://magic-link?token=good"));
        QTRY_VERIFY(state().isSignedIn());
        // The server settings follow the sign-in (unless the service refuses them).
        if (!configFails)
            QTRY_VERIFY(state().frpcConfig());
    }
    void loadList()
    {
        bool done = false;
        state().refreshTunnels(nullptr, [&](const auto &) { done = true; });
        QTRY_VERIFY(done && state().tunnelsLoaded());
    }
    // The popover, signed in, with the list loaded.
    ListPopover &popover()
    {
        shown = std::make_unique<ListPopover>(state());
        signIn();
        loadList();
        return *shown;
    }

    ShellHarness shell;
    QByteArray usage = usageJson("free", 0, 5 * GiB, 0);
    bool listFails = false;
    bool configFails = false;
    std::unique_ptr<ListPopover> shown;
};

// What a QR decoder reads from the image; empty when it finds no code.
QString decodeQR(const QImage &source)
{
    // A quiet zone as wide as four modules of the largest scale used here.
    QImage framed(source.width() + 80, source.height() + 80, QImage::Format_Grayscale8);
    framed.fill(255);
    QPainter(&framed).drawImage(40, 40, source.convertToFormat(QImage::Format_Grayscale8));
    QByteArray pixels;
    for (int y = 0; y < framed.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(framed.constScanLine(y)), framed.width());
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(unsigned(framed.width()), unsigned(framed.height()), "Y800", pixels.constData(),
                      unsigned(pixels.size()));
    scanner.scan(image);
    for (auto symbol = image.symbol_begin(); symbol != image.symbol_end(); ++symbol)
        return QString::fromStdString(symbol->get_data());
    return {};
}

} // namespace

class TestTunnelList : public QObject {
    Q_OBJECT
private slots:
    void contentStatesAndScreenshots()
    {
        ListHarness h({tunnelJson("t1", "demo")});
        h.listFails = true;
        h.configFails = true;
        ListPopover popover(h.state());
        h.signIn();
        QVERIFY(popover.page());
        TunnelListPage &page = *popover.page();
        QTRY_VERIFY(h.state().frpcConfigError() && !h.state().isLoadingFrpcConfig());
        // Not loaded, no server settings: their error; the header offers a retry.
        QCOMPARE(page.content(), TunnelListPage::Content::configError);
        QCOMPARE(page.errorView()->message(), text("tunnels.list.configUnavailable"));
        QCOMPARE(page.errorView()->retryText(), text("tunnels.list.retryAutomatic"));
        QVERIFY(!page.retryButton()->isHidden());
        saveScreenshots(h.state(), popover.window, QStringLiteral("tunnels-config-error"));

        // The settings arrive through the retry button; the list load still fails.
        h.configFails = false;
        QTest::mouseClick(page.retryButton(), Qt::LeftButton);
        QTRY_VERIFY(h.state().frpcConfig());
        QVERIFY(page.retryButton()->isHidden());
        h.state().refreshTunnels();
        QTRY_COMPARE(page.content(), TunnelListPage::Content::loadError);
        QCOMPARE(page.errorView()->message(), text("tunnels.list.configUnavailable"));
        saveScreenshot(popover.window, QStringLiteral("tunnels-load-error-en"));

        // Loaded: rows; with the settings failing afterwards the error follows the rows and no
        // tunnel can be started.
        h.listFails = false;
        h.loadList();
        QCOMPARE(page.content(), TunnelListPage::Content::rows);
        QCOMPARE(page.rowsView()->rowCount(), 1);
        QVERIFY(!page.showsTrailingError());
        h.configFails = true;
        h.state().signOut();
        h.signIn();
        QTRY_VERIFY(h.state().frpcConfigError());
        h.loadList();
        TunnelListPage &again = *popover.page();
        QTRY_VERIFY(again.showsTrailingError());
        QCOMPARE(again.content(), TunnelListPage::Content::rows);
        QVERIFY(!again.retryButton()->isHidden());
        QVERIFY(!popover.row(0)->startStopButton()->isEnabled());
        // Started anyway: a start error's key shows as its catalogue text, in orange.
        h.state().startTunnel(h.state().tunnels().first());
        QTRY_COMPARE(popover.row(0)->noticeText(), text("app.frpc.configNotLoaded"));
        QCOMPARE(popover.row(0)->noticeColor(), Palette::orange());
        saveScreenshot(popover.window, QStringLiteral("tunnels-rows-config-error-en"));

        // Empty.
        h.shell.script.tunnels = {};
        h.loadList();
        QTRY_COMPARE(again.content(), TunnelListPage::Content::empty);
        QCOMPARE(again.emptyView()->bodyText(),
                 LocalizableXCStrings::shared().format("tunnels.list.empty.body %@", {"tunnels.test"}, "en"));
        saveScreenshots(h.state(), popover.window, QStringLiteral("tunnels-empty"));
    }

    void rowRunStatesAndMessages()
    {
        ListHarness h({tunnelJson("t1", "demo"), tunnelJson("t2", "api"), tunnelJson("t3", "web")});
        ListPopover &popover = h.popover();
        TunnelRow *first = popover.row(0);
        TunnelRow *third = popover.row(2);
        QVERIFY(first && third);
        const auto dotIs = [](TunnelRow *row, const QColor &color, const char *key) {
            return row->statusDot()->toolTip() == text(key) && row->statusDotColor() == color;
        };
        // No run state yet: grey, stopped.
        QVERIFY(dotIs(first, Palette::secondaryText(first), "tunnels.list.status.stopped"));

        // Started from the keyboard: connecting, then the service reports it active: connected.
        // The button keeps the focus throughout, so the next Space stops it.
        QApplication::setActiveWindow(&popover.window);
        first->startStopButton()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(first->startStopButton(), Qt::Key_Space);
        QTRY_VERIFY(dotIs(first, Palette::orange(), "tunnels.list.status.connecting"));
        QVERIFY(first->startStopButton()->hasFocus());
        QCOMPARE(first->startStopButton()->toolTip(), text("tunnels.list.stop"));
        saveScreenshot(*first, QStringLiteral("tunnel-row-connecting-en"));
        h.shell.script.tunnelStatus = QStringLiteral("active");
        h.shell.clock.advance(1s);
        QTRY_VERIFY(dotIs(first, Palette::green(), "tunnels.list.status.connected"));
        saveScreenshot(*first, QStringLiteral("tunnel-row-connected-en"));
        // The service loses it: disconnected.
        h.shell.script.tunnelStatus = QStringLiteral("offline");
        h.loadList();
        QTRY_VERIFY(dotIs(first, Palette::red(), "tunnels.list.status.disconnected"));
        saveScreenshot(*first, QStringLiteral("tunnel-row-disconnected-en"));

        // A crash in red.
        h.state().handleUnexpectedExit(QStringLiteral("t1"));
        QTRY_VERIFY(dotIs(first, Palette::red(), "tunnels.list.status.failed"));
        QCOMPARE(first->noticeText(), text("app.frpc.crashed"));
        QCOMPARE(first->noticeColor(), Palette::red());
        // No frpc anywhere: the row says how to install it.
        QTemporaryDir noFrpc;
        h.state().frpc().setExecutableDirectory(noFrpc.path());
        h.state().startTunnel(h.state().tunnels().at(2));
        QTRY_COMPARE(third->noticeText(), text("app.frpc.missing"));
        QCOMPARE(third->noticeColor(), Palette::orange());
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("es")}) {
            h.state().applyLanguage(language);
            QTRY_COMPARE(first->noticeText(), text("app.frpc.crashed", language));
            QTRY_COMPARE(third->noticeText(), text("app.frpc.missing", language));
            QCOMPARE(first->statusDot()->toolTip(), text("tunnels.list.status.failed", language));
            saveScreenshot(popover.window, QStringLiteral("tunnel-rows-failed-") + language);
            // The rows fit, wrapped notices and all: no scroll bar over them.
            QCOMPARE(child<QScrollArea>(popover.window, "tunnelRows")->verticalScrollBar()->maximum(), 0);
        }
    }

    void startStopDoublePressAndBandwidthRefusal()
    {
        ListHarness h({tunnelJson("t1", "demo")});
        ListPopover &popover = h.popover();
        StartStopButton *button = popover.row(0)->startStopButton();

        // A double click and two presses before the first is handled each start the tunnel once.
        // Through the window, as the desktop delivers it: press, release, press (double), release.
        QTest::mouseDClick(popover.window.windowHandle(), Qt::LeftButton, {},
                           button->mapTo(&popover.window, button->rect().center()));
        QTRY_VERIFY(!popover.row(0)->isChangingState());
        QVERIFY(h.state().runningTunnelIds().contains("t1"));
        QCOMPARE(h.state().frpc().runningProcessCount(), 1);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(!h.state().runningTunnelIds().contains("t1"));
        popover.row(0)->pressStartStop();
        QVERIFY(popover.row(0)->isChangingState() && button->isBusy() &&
                button->isEnabled()); // keeps the focus
        popover.row(0)->pressStartStop();
        QTRY_VERIFY(!popover.row(0)->isChangingState());
        QVERIFY(h.state().runningTunnelIds().contains("t1"));
        h.state().stopTunnel("t1");

        // Over the free bandwidth: the banner, and no start.
        h.usage = usageJson("free", 6 * GiB, 5 * GiB, 100);
        h.state().refreshUsage();
        QTRY_VERIFY(h.state().isOverFreeBandwidthLimit());
        h.state().setBanner(std::nullopt);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(h.state().banner());
        QVERIFY(!h.state().runningTunnelIds().contains("t1"));
        ErrorBanner *banner = popover.page()->banner();
        QTRY_VERIFY(banner->isVisible());
        // The banner shows its hint (its action: the state's usage test).
        QCOMPARE(banner->message(), text("tunnels.list.bandwidthLimit.hint"));
        saveScreenshot(popover.window, QStringLiteral("tunnels-bandwidth-banner-en"));
    }

    void copyLinkQRCodeAndDelete()
    {
        QJsonObject custom = tunnelJson("t2", "shop");
        custom.insert("customDomain", "shop.example.com");
        QJsonObject tcp = tunnelJson("t3", "db");
        tcp.insert("protocol", "tcp");
        tcp.insert("remotePort", 40022);
        ListHarness h({tunnelJson("t1", "demo"), custom, tcp});
        ListPopover &popover = h.popover();
        const QStringList expected{"https://demo.tunnels.test", "https://shop.example.com",
                                   "tcp://tunnels.test:40022"};
        for (int i = 0; i < 3; ++i) {
            TunnelRow *row = popover.row(i);
            QTest::mouseClick(row->moreButton(), Qt::LeftButton);
            QTRY_VERIFY(row->moreMenu());
            QMenu *menu = row->moreMenu();
            // tcp: no QR code, the address is plain text.
            QCOMPARE(menu->findChild<QAction *>("tunnels.share.qr") != nullptr, i < 2);
            QCOMPARE(row->addressButton()->isLink(), i < 2);
            menu->findChild<QAction *>("tunnels.share.copy")->trigger();
            menu->close();
            QCOMPARE(QGuiApplication::clipboard()->text(), expected.at(i));
        }
        // The row shows the address under the configured public host; the link opens it.
        QCOMPARE(popover.row(0)->addressButton()->text(), QStringLiteral("demo.tunnels.test"));
        QTest::mouseClick(popover.row(1)->addressButton(), Qt::LeftButton);
        QCOMPARE(h.shell.urlOpener.opened, QList<QUrl>{QUrl(expected.at(1))});
        QTest::mouseClick(popover.row(2)->addressButton(), Qt::LeftButton);
        QCOMPARE(h.shell.urlOpener.opened.size(), 1);

        // The QR code reads back as the address from the drawn view.
        popover.row(0)->showQRCode();
        QVERIFY(popover.row(0)->findChild<TunnelQRCodeView *>()->isVisible());
        TunnelQRCodeView qr(h.state(), h.state().tunnels().first());
        qr.show();
        QCOMPARE(decodeQR(qr.grab().toImage()), expected.at(0));
        QCOMPARE(qr.hintText(), text("tunnels.share.scanHint"));
        saveScreenshots(h.state(), qr, QStringLiteral("tunnel-qr"));
        QCOMPARE(TunnelQRCodeView(h.state(), h.state().tunnels().at(2)).hintText(),
                 text("tunnels.share.tcpHint"));

        // (A separate window closed the popover, as a click elsewhere does.)
        popover.window.show();
        // Delete asks first, in the language of the moment; Escape keeps the tunnel, confirming
        // deletes it.
        popover.row(0)->confirmDelete();
        auto *alert = popover.window.findChild<DeleteTunnelConfirmation *>();
        QVERIFY(alert && alert->isVisible());
        for (const QString language : {"es", "en"}) {
            h.state().applyLanguage(language);
            QCOMPARE(alert->messageText(), text("tunnels.list.delete.confirm", language));
            QCOMPARE(alert->deleteButton()->accessibleName(), text("tunnels.list.delete", language));
            saveScreenshot(popover.window, "tunnel-delete-confirmation-" + language);
        }
        QTest::keyClick(alert, Qt::Key_Escape);
        QTRY_VERIFY(!popover.window.findChild<DeleteTunnelConfirmation *>());
        QCOMPARE(h.state().tunnels().size(), 3);
        popover.row(0)->confirmDelete();
        alert = popover.window.findChild<DeleteTunnelConfirmation *>();
        QTest::mouseClick(alert->deleteButton(), Qt::LeftButton);
        QTRY_COMPARE(h.state().tunnels().size(), 2);
        QTRY_COMPARE(popover.page()->rowsView()->rowCount(), 2);
    }

    void usageFormatsAndTints_data()
    {
        QTest::addColumn<qint64>("used");
        QTest::addColumn<QString>("formatted");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QColor>("tint");
        QTest::newRow("nothing, 79%") << 0LL << "0 KB" << 79 << Palette::brandBlue();
        QTest::newRow("100 KiB, 80%") << 100LL * 1024 << "100 KB" << 80 << Palette::warningAmber();
        QTest::newRow("512 MiB, 95%") << 512LL * 1024 * 1024 << "512 MB" << 95 << Palette::errorRed();
        QTest::newRow("just under 1 GiB") << GiB - 1 << "1024 MB" << 0 << Palette::brandBlue();
        QTest::newRow("1 GiB") << GiB << "1.00 GB" << 0 << Palette::brandBlue();
    }

    void usageFormatsAndTints()
    {
        QFETCH(qint64, used);
        QFETCH(int, percent);
        QTEST(UsageView::formatGigabytes(used), "formatted");
        QTEST(UsageView::usageTint(percent), "tint");
    }

    void usageViewOnEachPlan()
    {
        ListHarness h;
        UsageView view(h.state());
        view.setFixedWidth(332);
        view.show();
        // Free: headline, percentage, bar; the fraction from the bytes, clamped.
        view.setUsage(usage("free", GiB * 3 / 2, 5 * GiB, 30));
        QCOMPARE(view.headlineText(), text("usage.headline.monthly").toUpper());
        QCOMPARE(view.percentText(), QStringLiteral("30%"));
        QCOMPARE(view.summaryText(), QStringLiteral("1.50 GB / 5 GB"));
        QVERIFY(view.showsBar());
        QCOMPARE(view.resetText(), LocalizableXCStrings::shared().format("usage.resetOn", {"5 Jan"}, "en"));
        QCOMPARE(view.accessibleName(),
                 LocalizableXCStrings::shared().format("usage.accessibilityLabel",
                                                       {view.summaryText(), view.resetText()}, "en"));
        QCOMPARE(UsageView::fillFraction(usage("free", 6 * GiB, 5 * GiB, 100).bandwidth), 1.0);
        QCOMPARE(UsageView::fillFraction(usage("free", GiB, 0, 0).bandwidth), 0.0);
        // "Pro" with a capital is still the free plan here.
        QVERIFY(UsageView::isFreePlan(usage("Pro", 0, 0, 0)));
        saveScreenshot(view, QStringLiteral("usage-free-en"));
        // The reset date in the language's own words.
        h.state().applyLanguage("es");
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&view, &change);
        QTRY_VERIFY(view.resetText().contains(QStringLiteral("5 ene")));
        saveScreenshot(view, QStringLiteral("usage-free-es"));
        h.state().applyLanguage("en");
        QCoreApplication::sendEvent(&view, &change);
        // Paid: its headline, no percentage, no bar, no limit.
        view.setUsage(usage("pro", 512LL * 1024 * 1024, 0, 0));
        QTRY_COMPARE(view.headlineText(), text("usage.headline.pro").toUpper());
        QVERIFY(view.percentText().isEmpty() && !view.showsBar());
        QCOMPARE(view.summaryText(), QStringLiteral("512 MB / \u221E"));
        saveScreenshot(view, QStringLiteral("usage-pro-en"));
    }

    void upgradeSheetWordingAndCheckout()
    {
        ListHarness h;
        h.signIn();
        UpgradeView sheet(h.state());
        sheet.resize(360, 600);
        sheet.show();
        for (const auto &[reason, key] :
             {std::pair{UpgradeReason::manual, ""},
              {UpgradeReason::secondTunnel, "upgrade.context.secondTunnel"},
              {UpgradeReason::tcpTunnel, "upgrade.context.tcpTunnel"},
              {UpgradeReason::bandwidthLimit, "upgrade.context.bandwidthLimit"}}) {
            h.state().presentUpgrade(reason);
            QCOMPARE(sheet.contextText(), *key ? text(key) : QString());
        }
        saveScreenshots(h.state(), sheet, QStringLiteral("upgrade-sheet"));

        // Checkout closes the sheet and opens the address (the state's checkout test); a sheet
        // shown while the request runs cannot start a second one.
        QTest::mouseClick(sheet.checkoutButton(), Qt::LeftButton);
        QVERIFY(!h.state().showingUpgrade());
        QTRY_VERIFY(h.state().isOpeningCheckout());
        QVERIFY(!sheet.checkoutButton()->isEnabled());
        QTRY_COMPARE(h.shell.urlOpener.opened, QList<QUrl>{QUrl("https://pay.example/checkout/42")});
        QVERIFY(sheet.checkoutButton()->isEnabled());
        // Dismiss only closes it.
        h.state().presentUpgrade(UpgradeReason::manual);
        QTest::mouseClick(sheet.dismissButton(), Qt::LeftButton);
        QVERIFY(!h.state().showingUpgrade());
        QCOMPARE(h.shell.urlOpener.opened.size(), 1);
    }

    // (A free account with its tunnel gets the upgrade sheet from "add" instead: the editor journey.)
    void refreshFollowsThePopoverAndTheEditor()
    {
        ListHarness h({tunnelJson("t1", "demo")}, QStringLiteral("pro"));
        ListPopover &popover = h.popover();
        TunnelListRefresh &refresh = popover.page()->refresher();
        const auto requests = [&] {
            return std::pair{h.shell.sent("GET /tunnels").size(), h.shell.sent("/users/me/usage").size()};
        };
        QCoreApplication::processEvents();
        // Closed: nothing armed and nothing asked, however long it stays closed.
        const auto closed = requests();
        QVERIFY(!refresh.isActive());
        h.shell.clock.advance(95s);
        QCOMPARE(requests(), closed);
        // Opened: the list and then the usage at once, then 30 seconds after each usage answer. The
        // wait is armed only once the answer is in, which may be well after the service counted the
        // request: each answer differs, so the state shows when it has arrived.
        const auto answered = [&](int n) {
            QTRY_COMPARE(h.state().usage() ? h.state().usage()->bandwidth.usedBytes : -1, qint64(n));
            QCOMPARE(requests(), std::pair(closed.first + n, closed.second + n));
            h.usage = usageJson("pro", n + 1, 0, 0);
        };
        h.usage = usageJson("pro", 1, 0, 0);
        h.state().setPopoverVisible(true);
        answered(1);
        h.shell.clock.advance(29s);
        QCOMPARE(requests(), std::pair(closed.first + 1, closed.second + 1));
        h.shell.clock.advance(1s);
        answered(2);

        // The editor in the list's place, its refresh paused; closing it brings the list back, refreshed.
        QTest::mouseClick(popover.page()->addButton(), Qt::LeftButton);
        QVERIFY(!h.state().showingUpgrade());
        TunnelListView *list = popover.list();
        QCOMPARE(list->mode(), TunnelListView::Mode::editor);
        QVERIFY(list->editor() && !list->editor()->editingTunnel() && list->page()->isHidden());
        QVERIFY(!refresh.isActive());
        emit list->editor()->closeRequested();
        QTRY_COMPARE(list->mode(), TunnelListView::Mode::list);
        QTRY_COMPARE(requests().first, closed.first + 3);

        // Closed again: the wait is dropped.
        h.state().setPopoverVisible(false);
        QVERIFY(!refresh.isActive());
        const auto last = requests();
        h.shell.clock.advance(120s);
        QCOMPARE(requests(), last);

        // Edit from the more menu opens the editor for that tunnel.
        QTest::mouseClick(popover.row(0)->moreButton(), Qt::LeftButton);
        QTRY_VERIFY(popover.row(0)->moreMenu());
        popover.row(0)->moreMenu()->findChild<QAction *>("tunnels.list.edit")->trigger();
        QTRY_VERIFY(list->editor() && list->editor()->editingTunnel());
        QCOMPARE(list->editor()->editingTunnel()->id, QStringLiteral("t1"));
    }

    // The window follows a file that does not exist yet as it grows, keeps only its newest lines,
    // reads a truncated file from its start, copies what it keeps and closes with Escape. (Opened from
    // a row whose frpc found nothing on the local port: the log journey.)
    void logFollowsAGrowingFileWithinItsCap()
    {
        ListHarness h;
        Tunnel tunnel;
        tunnel.id = "t9";
        tunnel.subdomain = "demo";
        const QString path = h.state().frpc().logPath(tunnel.id);
        TunnelLogView log(h.state(), tunnel, 5);
        log.show();
        QCOMPARE(log.shownText(), QString());

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
        file.write("one\ntw");
        QTRY_COMPARE(log.shownText(), QString("one"));
        file.write("o\n\x1b[1;34mthree\x1b[0m\n");
        QTRY_COMPARE(log.shownText(), QString("one\ntwo\nthree"));
        QByteArray many;
        for (int i = 4; i <= 20; ++i)
            many += "line " + QByteArray::number(i) + '\n';
        file.write(many);
        QTRY_COMPARE(log.shownText(), QString("line 16\nline 17\nline 18\nline 19\nline 20"));

        QVERIFY(file.resize(0) && file.write("next run\n") > 0);
        QTRY_VERIFY(log.shownText().endsWith("line 20\nnext run"));
        log.copyAll();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString("line 17\nline 18\nline 19\nline 20\nnext run"));
        QCOMPARE(log.findChild<QPlainTextEdit *>()->accessibleName(), text("tunnels.log.output"));
        saveScreenshots(h.state(), log, "tunnel-log");
        QTest::keyClick(log.findChild<QPlainTextEdit *>(), Qt::Key_Escape);
        QVERIFY(!log.isVisible());
    }
};

QTEST_MAIN(TestTunnelList)
#include "test_tunnel_list.moc"
