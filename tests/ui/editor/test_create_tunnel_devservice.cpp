// The tunnel editor against the development service, in real time: a free account creates a
// tunnel and edits its port, and the list's row shows it; a second tunnel is refused with the
// upgrade banner; as a pro account, a taken subdomain is refused while typing.

#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/WidgetTest.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/tunnels/CreateTunnelView.h"
#include "ui/tunnels/ProtocolPicker.h"
#include "ui/tunnels/TunnelListPage.h"
#include "ui/tunnels/TunnelListView.h"
#include "ui/tunnels/TunnelRow.h"
#include "ui/tunnels/TunnelRowsView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {
// Types `port` into a fresh editor, submits it and returns the editor.
std::unique_ptr<CreateTunnelView> submitPort(AppState &state, std::optional<Tunnel> editing,
                                             const QString &port)
{
    auto view = std::make_unique<CreateTunnelView>(state, std::move(editing));
    view->show();
    auto *input = view->findChild<QLineEdit *>("portInput");
    input->clear();
    QTest::keyClicks(input, port);
    QTest::keyClick(input, Qt::Key_Return);
    return view;
}
} // namespace

class TestCreateTunnelDevService : public QObject {
    Q_OBJECT
private slots:
    void createEditAndRefusals()
    {
        DevService service;
        QVERIFY2(service.start(), qPrintable(service.errorString()));
        const QString email = "editor@ostrel.test";
        const QString token = service.signUp(email);
        QVERIFY(!token.isEmpty());
        DevServiceApp app(service.port());
        app.secrets.items.insert({"com.ostrel.app", "auth.token"}, token.toUtf8());
        app.preferences.setRaw("ostrel.language", "en");
        app.preferences.setRaw("ostrel.onboarding.completed", true);
        AppState &state = app.create();
        app.network.setSatisfied(true);
        QTRY_VERIFY(state.isSignedIn());
        QTRY_VERIFY(state.tunnelsLoaded());

        auto create = submitPort(state, {}, "3000");
        QSignalSpy created(create.get(), &CreateTunnelView::closeRequested);
        QTRY_COMPARE(created.size(), 1);
        QCOMPARE(state.tunnels().size(), 1);
        QCOMPARE(state.tunnels().first().localPort, 3000);
        QCOMPARE(state.tunnels().first().protocolValue, QString("http"));

        TunnelListView list(state);
        list.show();
        TunnelRow *row = list.page()->rowsView()->row(state.tunnels().first().id);
        QVERIFY(row);
        // The edit goes through the list's own editor, which hands back to the page on success.
        list.showEditor(state.tunnels().first());
        auto *portInput = list.editor()->findChild<QLineEdit *>("portInput");
        portInput->clear();
        QTest::keyClicks(portInput, "4000");
        QTest::keyClick(portInput, Qt::Key_Return);
        QTRY_COMPARE(list.mode(), TunnelListView::Mode::list);
        QCOMPARE(state.tunnels().size(), 1);
        QCOMPARE(state.tunnels().first().localPort, 4000);
        QTRY_COMPARE(row->findChild<QLabel *>("port")->text(), QString(":4000"));

        // The free plan holds one tunnel: the second is refused with the upgrade banner.
        auto second = submitPort(state, {}, "5000");
        QTRY_VERIFY(second->bannerHasUpgradeAction());
        QCOMPARE(second->upgradeReason(), UpgradeReason::secondTunnel);
        saveScreenshot(*second, "editor-devservice-second-tunnel");

        // As a pro account, the first tunnel's subdomain is refused as it is typed.
        QVERIFY(service.setPlan(email, "pro"));
        state.refreshMe();
        QTRY_VERIFY(state.isProUser());
        CreateTunnelView pro(state, std::nullopt);
        pro.show();
        QTest::keyClicks(pro.findChild<QLineEdit *>("subdomainInput"), state.tunnels().first().subdomain);
        QTRY_COMPARE(pro.availability(), CreateTunnelView::Availability::taken);
        QCOMPARE(pro.findChild<FieldGroup *>("subdomainField")->supportText(),
                 localized("tunnels.subdomain.taken", "en"));
        QTest::keyClicks(pro.findChild<QLineEdit *>("portInput"), "6000");
        QVERIFY(!pro.findChild<PrimaryButton *>("submit")->isEnabled());
        saveScreenshot(pro, "editor-devservice-taken");

        // A tcp tunnel made while pro, edited after going back to free: it stays tcp, the
        // service refuses it, and the upgrade action leads to the sheet for tcp.
        CreateTunnelView tcp(state, std::nullopt);
        tcp.show();
        QTest::mouseClick(tcp.findChild<ProtocolPicker *>("protocolPicker")->segment(1), Qt::LeftButton);
        QTest::keyClicks(tcp.findChild<QLineEdit *>("portInput"), "22");
        QSignalSpy tcpCreated(&tcp, &CreateTunnelView::closeRequested);
        QTest::keyClick(tcp.findChild<QLineEdit *>("portInput"), Qt::Key_Return);
        QTRY_COMPARE(tcpCreated.size(), 1);
        QCOMPARE(state.tunnels().size(), 2);
        QVERIFY(service.setPlan(email, "free"));
        state.refreshMe();
        QTRY_VERIFY(!state.isProUser());
        auto downgraded = submitPort(state, state.tunnels().last(), "2222");
        QCOMPARE(downgraded->protocolSelection(), TunnelProtocol::tcp);
        QTRY_VERIFY(downgraded->bannerHasUpgradeAction());
        QCOMPARE(downgraded->upgradeReason(), UpgradeReason::tcpTunnel);
        saveScreenshot(*downgraded, "editor-devservice-tcp-after-downgrade");
        QTest::mouseClick(downgraded->findChild<QAbstractButton *>("action"), Qt::LeftButton);
        QTRY_VERIFY(state.showingUpgrade());
        QCOMPARE(state.upgradeReason(), UpgradeReason::tcpTunnel);
        QCOMPARE(state.tunnels().last().protocolValue, QString("tcp"));
    }
};

QTEST_MAIN(TestCreateTunnelDevService)
#include "test_create_tunnel_devservice.moc"
