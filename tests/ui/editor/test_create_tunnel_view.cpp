// The tunnel editor driven offscreen through a real AppState, a scripted service and the manual
// clock: enable rules, pre-filling and the requests sent, the debounced availability check, where
// each service error lands, the upgrade action, the keyboard.

#include "support/WidgetTest.h"
#include "ui/app/ShellHarness.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/tunnels/CreateTunnelView.h"
#include "ui/tunnels/ProtocolPicker.h"

#include <QAbstractButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;
using Availability = CreateTunnelView::Availability;

namespace {

QJsonObject editedTunnel(const QString &protocol)
{
    return {{"id", "t1"},           {"subdomain", "demo"}, {"localHost", "localhost"}, {"localPort", 8080},
            {"protocol", protocol}, {"status", "offline"}, {"frpsProxyName", "tun-1"}};
}

// A case of the form's rules: the plan, the form filled in, what goes out.
struct Rules {
    QString tier{};
    QJsonObject existing{}; // empty: a new tunnel
    bool tcp = false;       // picked once the subdomain is typed
    QString subdomain{}, port{};
    QByteArray method{}; // empty: nothing can be sent
    QJsonObject body{};
    QString subdomainError{}, portError{}; // text keys; empty: none
};

// A refusal and where its texts land (text keys; empty: none; "=" + text: a literal).
struct Refusal {
    QString tier{};
    ScriptedResponse answer{};
    QString subdomainKey{}, portKey{}, bannerKey{};
    int upgradeReason = -1; // -1: no upgrade action
};

// An editor, for a new tunnel or the `existing` one, over an AppState signed in from a stored
// token; the service finds every subdomain available and accepts what is sent.
struct Editor {
    explicit Editor(const QString &tier, const QJsonObject &existing = {}, const QString &language = "en")
        : h({.storedToken = true, .onboardingCompleted = true, .language = language},
            ServiceScript{.tier = tier, .tunnels = existing.isEmpty() ? QJsonArray() : QJsonArray{existing}})
    {
        h.routes.insert("/tunnels/availability", ScriptedResponse::json(200, R"({"available":true})"));
        const auto accepted = ScriptedResponse::json(201, QJsonDocument(editedTunnel("http")).toJson());
        h.routes.insert("POST /tunnels", accepted);
        h.routes.insert("PATCH /tunnels/t1", accepted);
        h.network.setSatisfied(true); // the network comes up: the tunnel list loads
        // The plan comes with the profile and then the usage, a moment after the token's sign-in.
        QVERIFY(QTest::qWaitFor([this] { return h.state->usage() && h.state->tunnelsLoaded(); }));
        view = std::make_unique<CreateTunnelView>(
            *h.state,
            existing.isEmpty() ? std::nullopt : std::optional(std::get<Tunnel>(Tunnel::fromJson(existing))));
        view->resize(360, 560);
        view->show();
    }
    FieldGroup *field(const char *name) const { return view->findChild<FieldGroup *>(name); }
    QLineEdit *input(const char *name) const { return view->findChild<QLineEdit *>(name); }
    PrimaryButton *submit() const { return view->findChild<PrimaryButton *>("submit"); }
    ErrorBanner *banner() const { return view->findChild<ErrorBanner *>("banner"); }
    QString support(const char *name) const { return field(name)->supportText().value_or(QString()); }
    void type(const char *name, const QString &value) const
    {
        input(name)->clear();
        QTest::keyClicks(input(name), value);
    }
    void pickTcp() const
    {
        QTest::mouseClick(view->findChild<ProtocolPicker *>("protocolPicker")->segment(1), Qt::LeftButton);
    }

    ShellHarness h;
    std::unique_ptr<CreateTunnelView> view;
};

} // namespace

Q_DECLARE_METATYPE(Rules)
Q_DECLARE_METATYPE(Refusal)

class TestCreateTunnelView : public QObject {
    Q_OBJECT
private slots:
    void rulesPrefillAndRequests_data()
    {
        QTest::addColumn<Rules>("rules");
        // The body sent: the subdomain and the protocol only where given.
        const auto body = [](const char *subdomain, const char *protocol) {
            QJsonObject body{{"localHost", "localhost"}, {"localPort", 4000}};
            if (*subdomain)
                body.insert("subdomain", subdomain);
            if (*protocol)
                body.insert("protocol", protocol);
            return body;
        };
        const auto row = [](const char *name, const Rules &rules) { QTest::newRow(name) << rules; };
        const QJsonObject none;
        row("free, no port", {"free", none, false, "", "", ""});
        row("free, port 0", {"free", none, false, "", "0", "", none, "", "tunnels.port.invalid"});
        row("free create", {"free", none, false, "", "4000", "POST", body("", "http")});
        row("pro, no subdomain", {"pro", none, false, "", "4000", ""});
        row("pro, capitals", {"pro", none, false, "MyApp", "4000", "", none, "tunnels.subdomain.invalid"});
        row("pro create http", {"pro", none, false, "my-app", "4000", "POST", body("my-app", "http")});
        row("pro create tcp, no subdomain", {"pro", none, true, "", "4000", "POST", body("", "tcp")});
        row("pro create tcp drops the subdomain",
            {"pro", none, true, "my-app", "4000", "POST", body("", "tcp")});
        row("pro edit http", {"pro", editedTunnel("http"), false, "", "4000", "PATCH", body("demo", "http")});
        row("pro edit unknown protocol",
            {"pro", editedTunnel("udp"), false, "", "4000", "PATCH", body("demo", "http")});
        row("pro edit tcp", {"pro", editedTunnel("tcp"), false, "", "4000", "PATCH", body("", "tcp")});
        // No longer pro: the tcp tunnel keeps its protocol (none is sent, nor a subdomain).
        row("free edit tcp", {"free", editedTunnel("tcp"), false, "", "4000", "PATCH", body("", "")});
    }
    void rulesPrefillAndRequests()
    {
        QFETCH(Rules, rules);
        const auto &[tier, existing, tcp, subdomain, port, method, body, subdomainError, portError] = rules;
        const bool editing = !existing.isEmpty();
        Editor e(tier, existing);
        const bool pro = tier == "pro";
        if (editing) {
            QCOMPARE(e.view->protocolSelection() == TunnelProtocol::tcp, existing["protocol"] == "tcp");
            QCOMPARE(e.input("portInput")->text(), QString("8080"));
            QCOMPARE(e.input("subdomainInput")->text(), QString("demo"));
            QCOMPARE(e.view->availability(), Availability::idle); // the initial value is not checked
            QCOMPARE(e.submit()->titleKey(), QString("tunnels.edit.submit"));
        } else {
            QCOMPARE(e.view->findChild<QWidget *>("protocolSection")->isVisible(), pro);
            QCOMPARE(e.field("subdomainField")->isVisible(), pro);
            // The first field of the form has the keyboard.
            QCOMPARE(e.view->focusWidget(), e.input(pro ? "subdomainInput" : "portInput"));
        }
        if (!subdomain.isEmpty()) {
            e.type("subdomainInput", subdomain);
            e.h.clock.advance(CreateTunnelView::availabilityDebounce);
            QTRY_VERIFY(e.view->availability() != Availability::checking);
        }
        if (tcp)
            e.pickTcp();
        if (!editing) {
            QCOMPARE(e.field("subdomainField")->isVisible(), pro && !tcp);
            QCOMPARE(e.view->findChild<QLabel *>("protocolHelp")->text(),
                     text(tcp ? "tunnels.create.protocol.tcpHelp" : "tunnels.create.protocol.httpHelp"));
        }
        e.type("portInput", port);
        const bool enabled = !method.isEmpty();
        QCOMPARE(e.submit()->isEnabled(), enabled);
        QCOMPARE(e.support("subdomainField"), subdomainError.isEmpty() ? QString() : text(subdomainError));
        QCOMPARE(e.support("portField"), portError.isEmpty() ? QString() : text(portError));
        // Return follows the same rule as the button.
        QSignalSpy closed(e.view.get(), &CreateTunnelView::closeRequested);
        const qsizetype listLoads = e.h.sent("GET /tunnels").size();
        if (editing)
            QTest::mouseClick(e.submit(), Qt::LeftButton);
        else
            QTest::keyClick(e.input("portInput"), Qt::Key_Return);
        QCOMPARE(e.view->isLoading(), enabled);
        if (!enabled) {
            QTest::qWait(50);
            QVERIFY(e.h.sent("POST /tunnels").isEmpty());
            return;
        }
        QVERIFY(!e.submit()->isEnabled());
        QTRY_COMPARE(closed.size(), 1);
        QVERIFY(!e.view->isLoading());
        const QList<RecordedRequest> sent = e.h.sent(method + (editing ? " /tunnels/t1" : " /tunnels"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(QJsonDocument::fromJson(sent.first().body).object(), body);
        QVERIFY(e.h.sent("GET /tunnels").size() > listLoads);
    }

    void availabilityIsDebouncedAndOnlyTheNewestCounts()
    {
        Editor e("pro");
        e.h.routes["/tunnels/availability"] = ScriptedResponse::held();
        const auto checks = [&] { return e.h.sent("/tunnels/availability"); };
        // A burst of typing: nothing until 0.5 s after the last key, then one request.
        for (const char *key : {"D", "De", "Dem", "Demo"}) {
            e.type("subdomainInput", key);
            e.h.clock.advance(300ms);
        }
        QCOMPARE(e.view->availability(), Availability::checking);
        QVERIFY(!e.submit()->isEnabled());
        QTest::qWait(50);
        QVERIFY(checks().isEmpty());
        e.h.clock.advance(200ms);
        QTRY_COMPARE(e.h.server.heldCount(), 1);
        QCOMPARE(checks().size(), 1);
        // Checked in lower case (the capitals' local verdict: the rules' test).
        QCOMPARE(checks().first().query(), QByteArray("subdomain=demo"));

        // A newer text supersedes the held check: its answer, even a failure, changes nothing.
        e.type("subdomainInput", "demo2");
        e.h.clock.advance(CreateTunnelView::availabilityDebounce);
        QTRY_COMPARE(e.h.server.heldCount(), 2);
        e.h.server.answerHeld(ScriptedResponse::json(500, "{}"));
        QTest::qWait(50);
        QCOMPARE(e.view->availability(), Availability::checking);
        e.h.server.answerHeld(ScriptedResponse::json(200, R"({"available":true,"reason":"reserved"})"));
        QTRY_COMPARE(e.view->availability(), Availability::reserved);
        QCOMPARE(e.support("subdomainField"), text("tunnels.subdomain.reserved"));
        QCOMPARE(e.view->findChild<AvailabilityIndicator *>("availability")->toolTip(),
                 text("tunnels.subdomain.reserved"));

        // An invalid or empty text sends nothing and clears the verdict; a failed check is silent.
        e.type("subdomainInput", "-x");
        QCOMPARE(e.view->availability(), Availability::idle);
        e.type("subdomainInput", "demo3");
        e.h.clock.advance(CreateTunnelView::availabilityDebounce);
        QTRY_COMPARE(e.h.server.heldCount(), 1);
        e.h.server.answerHeld(ScriptedResponse::dropConnection());
        QTRY_COMPARE(e.view->availability(), Availability::idle);
        QCOMPARE(e.support("subdomainField"), QString());
        QCOMPARE(checks().size(), 3);
    }

    void errorsLandInTheirPlace_data()
    {
        QTest::addColumn<Refusal>("refusal");
        const auto row = [](const char *name, const Refusal &refusal) { QTest::newRow(name) << refusal; };
        row("validation",
            {"pro",
             refused(400, "VALIDATION_ERROR",
                     R"(["subdomain must match","localPort must not be greater than 65535","name is odd"])"),
             "error.validation.subdomain", "error.validation.port", "=name is odd"});
        row("conflict", {"pro", refused(409, "CONFLICT", R"("Subdomain my-app is reserved")"),
                         "tunnels.subdomain.reserved", "", ""});
        row("conflict taken", {"pro", refused(409, "CONFLICT", R"("Subdomain my-app is already taken")"),
                               "tunnels.subdomain.taken", "", ""});
        row("free tier limit", {"free", refused(403, "FREE_TIER_LIMIT", R"("one tunnel")"), "", "",
                                "error.freeTierLimit", int(UpgradeReason::secondTunnel)});
        row("tcp not allowed", {"free", refused(403, "FREE_TIER_PROTOCOL_NOT_ALLOWED", R"("tcp")"), "", "",
                                "error.freeTierProtocolNotAllowed", int(UpgradeReason::tcpTunnel)});
        row("network", {"free", ScriptedResponse::dropConnection(), "", "error.network", "error.network"});
    }
    void errorsLandInTheirPlace()
    {
        QFETCH(Refusal, refusal);
        const auto &[tier, answer, subdomainKey, portKey, bannerKey, upgradeReason] = refusal;
        const QString name = QString(QTest::currentDataTag()).replace(' ', '-');
        // Spanish where the layout is at risk: three messages at once.
        for (const QString &language : name == "validation" ? QStringList{"en", "es"} : QStringList{"en"}) {
            const auto expected = [&](const QString &key) {
                return key.isEmpty() ? QString() : key.startsWith('=') ? key.mid(1) : text(key, language);
            };
            Editor e(tier, {}, language);
            e.h.routes["POST /tunnels"] = answer;
            if (tier == "pro") {
                e.type("subdomainInput", "my-app");
                e.h.clock.advance(CreateTunnelView::availabilityDebounce);
                QTRY_COMPARE(e.view->availability(), Availability::available);
            }
            e.type("portInput", "3000");
            QSignalSpy closed(e.view.get(), &CreateTunnelView::closeRequested);
            QTest::keyClick(e.input("portInput"), Qt::Key_Return);
            QTRY_VERIFY(!e.view->isLoading());
            QCOMPARE(e.support("subdomainField"), expected(subdomainKey));
            QCOMPARE(e.support("portField"), expected(portKey));
            QCOMPARE(e.view->bannerMessage().value_or(QString()), expected(bannerKey));
            QCOMPARE(e.banner()->isVisible(), !bannerKey.isEmpty());
            QCOMPARE(e.view->bannerHasUpgradeAction(), upgradeReason >= 0);
            // The editor stays open with its input.
            QCOMPARE(closed.size(), 0);
            QCOMPARE(e.input("portInput")->text(), QString("3000"));
            saveScreenshot(*e.view, "editor-error-" + name + "-" + language);

            if (upgradeReason >= 0) {
                // Close first, then the sheet a moment later with the editor's reason.
                auto *action = e.banner()->findChild<QAbstractButton *>("action");
                QVERIFY(action && action->isVisible());
                QCOMPARE(action->text(), text("settings.upgrade.cta", language));
                QTest::mouseClick(action, Qt::LeftButton);
                QCOMPARE(closed.size(), 1);
                QVERIFY(!e.h.state->showingUpgrade());
                e.h.clock.advance(CreateTunnelView::upgradeDelay);
                QVERIFY(e.h.state->showingUpgrade());
                QCOMPARE(int(e.h.state->upgradeReason()), upgradeReason);
            }
            // Editing a field clears its service verdict.
            e.type("portInput", "3001");
            QCOMPARE(e.support("portField"), QString());
            if (tier == "pro") {
                e.type("subdomainInput", "my-app2");
                QCOMPARE(e.support("subdomainField"), QString());
            }
        }
    }

    void escapeClosesAndScreenshots()
    {
        Editor e("free");
        saveScreenshot(*e.view, "editor-empty-free-en");
        QSignalSpy closed(e.view.get(), &CreateTunnelView::closeRequested);
        QTest::keyClick(e.input("portInput"), Qt::Key_Escape);
        QCOMPARE(closed.size(), 1);
        // The pro form, its longest: the tcp help under the picker.
        for (const QString language : {"en", "es"}) {
            Editor p("pro", {}, language);
            p.pickTcp();
            p.type("portInput", "5432");
            saveScreenshot(*p.view, "editor-pro-tcp-" + language);
        }
    }
};

QTEST_MAIN(TestCreateTunnelView)
#include "test_create_tunnel_view.moc"
