// The tunnel list at 1,000 tunnels, offscreen, in the popover as the user sees it. Median of 20:
//   decode          the GET /tunnels answer decoded into tunnels
//   refresh         refreshTunnels() until applied: request over loopback, decode, state, rows
//                   (unchanged list / one tunnel changed)
//   repaint         the whole popover drawn offscreen (QWidget::grab) with the list in view
// and once: the first load (1,000 rows made), and the rows one repaint and one refresh paint.

#include "api/APIClient.h"
#include "app/PopoverWindow.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
#include "ui/MenuBarView.h"
#include "ui/tunnels/TunnelListPage.h"
#include "ui/tunnels/TunnelListView.h"
#include "ui/tunnels/TunnelRow.h"
#include "ui/tunnels/TunnelRowsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace ostrel;

namespace {

constexpr int tunnelCount = 1000;
constexpr int runs = 20;

QByteArray tunnelList(int changedPort)
{
    QJsonArray list;
    for (int i = 0; i < tunnelCount; ++i)
        list.append(QJsonObject{{"id", QStringLiteral("t%1").arg(i)},
                                {"subdomain", QStringLiteral("tunnel-%1").arg(i)},
                                {"localHost", "127.0.0.1"},
                                {"localPort", i == 1 ? changedPort : 3000 + i},
                                {"protocol", i % 10 == 9 ? "tcp" : "http"},
                                {"remotePort", 40000 + i},
                                {"status", "offline"},
                                {"frpsProxyName", QStringLiteral("t%1").arg(i)}});
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

// Just enough of the service on loopback: a signed-in user, the server settings and the list.
class Service : public QTcpServer {
public:
    QByteArray tunnels = tunnelList(3001);

    Service()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
        });
    }

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray target = buffer.split(' ').value(1);
        buffer = buffer.mid(end + 4);
        QByteArray body = "{}";
        if (target.startsWith("/users/me/usage"))
            body =
                R"({"tier":"pro","tunnels":{"used":1000,"active":0},"bandwidth":{"usedBytes":0,"inBytes":0,)"
                R"("outBytes":0,"limitBytes":0,"limitGB":0,"percentUsed":0,)"
                R"("periodStart":"2026-12-01T00:00:00.000Z","periodEnd":"2027-01-01T00:00:00.000Z"}})";
        else if (target.startsWith("/users/me"))
            body =
                R"({"id":"u1","email":"bench@ostrel.test","tier":"pro","emailVerifiedAt":"2026-01-01T00:00:00.000Z"})";
        else if (target.startsWith("/auth/magic-link/verify"))
            body =
                R"({"token":"bench","expiresAt":"2030-01-01T00:00:00.000Z","user":{"id":"u1",)"
                R"("email":"bench@ostrel.test","tier":"pro","emailVerifiedAt":"2026-01-01T00:00:00.000Z"}})";
        else if (target.startsWith("/auth/frpc-config"))
            body = R"({"serverAddr":"127.0.0.1","serverPort":7000,"authToken":"t","user":"u1"})";
        else if (target.startsWith("/tunnels"))
            body = tunnels;
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return (values[values.size() / 2] + values[(values.size() - 1) / 2]) / 2;
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void waitUntil(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void refreshOnce(AppState &state)
{
    bool done = false;
    state.refreshTunnels(nullptr, [&](const auto &) { done = true; });
    waitUntil([&] { return done; });
}

// Each measured phase in a function of its own, so a profile (callgrind) attributes its cost.
// (Distinct bodies, so the linker does not fold the two into one.)
volatile int phaseMarker = 0;
[[gnu::noinline]] void refreshUnchanged(AppState &state)
{
    phaseMarker = 1;
    refreshOnce(state);
}
[[gnu::noinline]] void refreshChanged(AppState &state)
{
    phaseMarker = 2;
    refreshOnce(state);
}
[[gnu::noinline]] void repaintPopover(QWidget &window)
{
    (void)window.grab();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Service service;
    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    preferences.setRaw(QStringLiteral("ostrel.onboarding.completed"), true);
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    QTemporaryDir support;
    BuildInfo info;
    info.apiHost = QStringLiteral("127.0.0.1:%1").arg(service.serverPort());
    info.publicHost = QStringLiteral("tunnels.test");
    const BuildConfig build = BuildConfig::resolve(info);
    AppState::Services services{secrets, preferences, network, notifier, loginItem, urlOpener};
    services.build = &build;
    services.frpcSupportDirectory = support.path();
    AppState state(services);

    PopoverWindow window(state.clock());
    auto *root = new MenuBarView(state, {});
    window.setContent(root);
    window.show();
    state.handleDeepLink(QStringLiteral("ostrel://magic-link?token=bench"));
    waitUntil([&] { return state.isSignedIn() && state.frpcConfig().has_value(); });
    auto *list = qobject_cast<TunnelListView *>(root->screenWidget());
    if (!list) {
        std::fprintf(stderr, "the tunnel list is not shown\n");
        return 1;
    }
    TunnelRowsView *rows = list->page()->rowsView();

    const double firstLoad = timeMs([&] { refreshOnce(state); });
    waitUntil([&] { return rows->rowCount() == tunnelCount; });
    QCoreApplication::processEvents();

    // Rows painted by one repaint: only those in view should be.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    };
    std::vector<PaintCounter> counters(static_cast<size_t>(tunnelCount));
    const QList<TunnelRow *> allRows = rows->rows();
    for (int i = 0; i < tunnelCount; ++i)
        allRows[i]->installEventFilter(&counters[size_t(i)]);
    waitUntil([&] { return !root->isTransitioning(); });
    QCoreApplication::processEvents();
    for (PaintCounter &counter : counters)
        counter.paints = 0;
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    (void)window.grab();
    const auto painted = [&] {
        const auto count = std::count_if(counters.begin(), counters.end(),
                                         [](const PaintCounter &c) { return c.paints > 0; });
        for (PaintCounter &counter : counters)
            counter.paints = 0;
        return int(count);
    };
    const int paintedRows = painted();
    // Rows repainted by a refresh: none when nothing changed, one when one tunnel did.
    refreshOnce(state);
    QCoreApplication::processEvents();
    const int paintedUnchanged = painted();
    service.tunnels = tunnelList(4000);
    refreshOnce(state);
    QCoreApplication::processEvents();
    const int paintedChanged = painted();

    std::vector<double> decode, unchanged, changed, repaint;
    for (int run = 0; run < runs; ++run) {
        decode.push_back(timeMs([&] {
            const QJsonArray array = QJsonDocument::fromJson(service.tunnels).array();
            QList<Tunnel> tunnels;
            tunnels.reserve(array.size());
            for (const QJsonValue &value : array)
                tunnels.append(std::get<Tunnel>(Tunnel::fromJson(value)));
        }));
        unchanged.push_back(timeMs([&] { refreshUnchanged(state); }));
        // One tunnel's port changes each run.
        service.tunnels = tunnelList(5000 + run);
        changed.push_back(timeMs([&] { refreshChanged(state); }));
        QCoreApplication::processEvents();
        repaint.push_back(timeMs([&] { repaintPopover(window); }));
    }
    std::printf("tunnel list, %d tunnels, median of %d (ms)\n", tunnelCount, runs);
    std::printf("  first load (rows made)        %8.2f (once)\n", firstLoad);
    std::printf("  decode of the list answer     %8.2f\n", median(decode));
    std::printf("  refresh, nothing changed      %8.2f\n", median(unchanged));
    std::printf("  refresh, one tunnel changed   %8.2f\n", median(changed));
    std::printf("  repaint of the visible list   %8.2f (%d of %d rows painted)\n", median(repaint),
                int(paintedRows), tunnelCount);
    std::printf("  rows repainted by a refresh   %d unchanged, %d with one tunnel changed\n",
                paintedUnchanged, paintedChanged);
    return 0;
}
