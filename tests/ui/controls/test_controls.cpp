#include "l10n/LocalizableXCStrings.h"
#include "support/ManualClock.h"
#include "support/WidgetTest.h"
#include "ui/controls/ConfirmAction.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/StatusImage.h"
#include "ui/controls/SymbolIcon.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

using namespace std::chrono_literals;
using ostrel::ConfirmAction;
using ostrel::ErrorBanner;
using ostrel::FieldGroup;
using ostrel::PrimaryButton;
using ostrel::StatusColor;
using ostrel::TunnelRuntimeState;
using ostrel::test::ManualClock;
using States = QHash<QString, TunnelRuntimeState>;
namespace Palette = ostrel::Palette;

Q_DECLARE_METATYPE(ErrorBanner::Severity)
Q_DECLARE_METATYPE(StatusColor)

namespace {
// True when `c` is clearly the given hue rather than a gray.
bool isBluish(const QColor &c)
{
    return c.blue() > c.red() + 60 && c.blue() > c.green() + 40;
}

// A banner built with or without an action and a dismissal, and what it shows.
struct Banner {
    ErrorBanner::Severity severity;
    QString actionTitle;
    bool withAction, withDismiss, actionShown;
    QString titleKey;
};

// A field given these texts, and what it shows (message empty: the message line shows nothing).
struct Field {
    QString text;
    bool errored;
    QString support, hint;
    bool placeholder;
    QString message{};
    bool redMessage = false;
};

// A log-out control, and what its action saw.
struct Confirm {
    ManualClock clock;
    int runs = 0;
    bool disarmedWhenRun = false;
    std::unique_ptr<ConfirmAction> control;

    Confirm()
    {
        control = std::make_unique<ConfirmAction>(
            3s,
            [this] {
                ++runs;
                disarmedWhenRun = !control->isConfirming();
            },
            "settings.danger.logout", "menubar.confirmLogout",
            ConfirmAction::symbolLabel("rectangle.portrait.and.arrow.right", "common.confirm"), nullptr,
            clock);
        control->show();
        QVERIFY(QTest::qWaitForWindowExposed(control.get()));
        // A window shown under the last pointer position gets an enter; start with the pointer away.
        leave();
    }
    void enter()
    {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(control.get(), &event);
    }
    void leave()
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(control.get(), &event);
    }
};
} // namespace

Q_DECLARE_METATYPE(Banner)
Q_DECLARE_METATYPE(Field)

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void primaryButtonLoadingAndDisabledIgnoreClicks()
    {
        int runs = 0;
        PrimaryButton button("auth.signIn", [&] { ++runs; });
        button.resize(300, button.sizeHint().height());
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        const QPoint face = button.rect().marginsRemoved(PrimaryButton::shadowMargins()).center();

        QTest::mouseClick(&button, Qt::LeftButton, {}, face);
        QCOMPARE(runs, 1);
        const int idleWidth = button.sizeHint().width();

        button.setLoading(true);
        QTest::mouseClick(&button, Qt::LeftButton, {}, face);
        button.setFocus();
        QTest::keyClick(&button, Qt::Key_Space);
        QCOMPARE(runs, 1);
        QVERIFY(!button.isPressed());
        QVERIFY(button.sizeHint().width() > idleWidth); // the spinner sits before the title
        // Loading keeps the enabled look: the face is still brand blue.
        QVERIFY(isBluish(button.grab().toImage().pixelColor(face.x(), face.y() - 6)));

        button.setLoading(false);
        button.setEnabled(false);
        QTest::mouseClick(&button, Qt::LeftButton, {}, face);
        QCOMPARE(runs, 1);
        const QColor disabled = button.grab().toImage().pixelColor(face.x(), face.y() - 6);
        QVERIFY(!isBluish(disabled));
        QVERIFY(std::abs(disabled.red() - disabled.blue()) < 30);

        button.setEnabled(true);
        QTest::mouseClick(&button, Qt::LeftButton, {}, face);
        QCOMPARE(runs, 2);
        QCOMPARE(button.accessibleName(), ostrel::localized("auth.signIn"));
    }

    void bannerVariants_data()
    {
        QTest::addColumn<Banner>("b");
        QTest::newRow("error, everything")
            << Banner{ErrorBanner::Severity::error, "Retry", true, true, true, "common.error"};
        QTest::newRow("warning, title without action")
            << Banner{ErrorBanner::Severity::warning, "Retry", false, true, false, "common.warning"};
        QTest::newRow("info, action without title")
            << Banner{ErrorBanner::Severity::info, "", true, false, false, "common.info"};
    }

    void bannerVariants()
    {
        QFETCH(Banner, b);
        const auto &[severity, actionTitle, withAction, withDismiss, actionShown, titleKey] = b;
        int actions = 0;
        int dismissals = 0;
        std::function<void()> action;
        if (withAction)
            action = [&] { ++actions; };
        std::function<void()> dismiss;
        if (withDismiss)
            dismiss = [&] { ++dismissals; };
        ErrorBanner banner(severity, "Something happened", actionTitle, action, dismiss);
        banner.resize(320, banner.heightForWidth(320));
        banner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&banner));
        // A long message wraps instead of being cut.
        const QString longMessage =
            QString("Your free plan has used all of this month's bandwidth. ").repeated(4);
        QVERIFY(ErrorBanner(severity, longMessage, actionTitle, action, dismiss).heightForWidth(320) >
                banner.heightForWidth(320) + 40);

        QCOMPARE(ostrel::test::shown(banner, "action"), actionShown);
        QCOMPARE(ostrel::test::shown(banner, "close"), withDismiss);
        QVERIFY(ostrel::test::shown(banner, "icon"));
        QCOMPARE(banner.findChild<QLabel *>("title")->text(), ostrel::localized(titleKey).toUpper());
        if (actionShown) {
            QTest::mouseClick(banner.findChild<QWidget *>("action"), Qt::LeftButton);
            QCOMPARE(actions, 1);
        }
        if (withDismiss) {
            auto *close = banner.findChild<QWidget *>("close");
            QCOMPARE(close->accessibleName(), ostrel::localized("common.close"));
            QTest::mouseClick(close, Qt::LeftButton);
            QCOMPARE(dismissals, 1);
        }
    }

    void fieldVariants_data()
    {
        QTest::addColumn<Field>("f");
        const QString none; // a null string stands for an absent text
        QTest::newRow("empty") << Field{"", false, none, none, true};
        QTest::newRow("single space") << Field{" ", false, none, none, false};
        QTest::newRow("hint") << Field{"a", false, none, "Lowercase letters", false, "Lowercase letters"};
        QTest::newRow("support wins over hint")
            << Field{"", true, "Port must be 1-65535", "Any free port", true, "Port must be 1-65535", true};
        QTest::newRow("errored without text") << Field{"x", true, none, none, false};
    }

    void fieldVariants()
    {
        QFETCH(Field, f);
        const auto &[text, errored, support, hint, placeholder, message, redMessage] = f;
        FieldGroup field("auth.email", "auth.email.placeholder");
        field.resize(320, field.sizeHint().height());
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        const int emptyHeight = field.sizeHint().height();

        field.setText(text);
        field.setErrored(errored);
        if (!support.isNull())
            field.setSupportText(support);
        if (!hint.isNull())
            field.setHintText(hint);
        QCoreApplication::processEvents();

        QCOMPARE(ostrel::test::shown(field, "placeholder"), placeholder);
        QCOMPARE(ostrel::test::shown(field, "review"), errored);
        auto *messageText = field.findChild<QLabel *>("messageText");
        QCOMPARE(ostrel::test::shown(field, "messageText"), !message.isEmpty());
        QCOMPARE(ostrel::test::shown(field, "messageIcon"), !message.isEmpty());
        if (!message.isEmpty()) {
            QCOMPARE(messageText->text(), message);
            QCOMPARE(messageText->palette().color(QPalette::WindowText) == Palette::errorRed(), redMessage);
        }
        // One line of message takes no more room than the reserved empty line: nothing jumps.
        QCOMPARE(field.sizeHint().height(), emptyHeight);
    }

    void everyBundledSymbolDrawsInItsColour()
    {
        // Drawn, and only in the requested colour; how many pixels are.
        const auto inked = [](const QImage &image, const QColor &colour) {
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (const QColor c = image.pixelColor(x, y); c.alpha() == 255)
                        count += c.rgb() == colour.rgb() ? 1 : -100000;
            return count;
        };
        // Every bundled symbol has its name, so it is the one drawn where the theme has none.
        QStringList names;
        for (const QFileInfo &file : QDir(":/ostrel/icons").entryInfoList({"*.svg"}))
            names << file.completeBaseName();
        QVERIFY(names.size() > 40);
        for (const QString &name : names) {
            QVERIFY2(!ostrel::symbolThemeName(name).isEmpty(), qPrintable(name));
            QVERIFY2(!ostrel::symbolIcon(name).isNull(), qPrintable(name));
            const QImage image = ostrel::symbolPixmap(name, 16, Palette::errorRed(), 2).toImage();
            QCOMPARE(image.size(), QSize(32, 32));
            QVERIFY2(inked(image, Palette::errorRed()) > 20, qPrintable(name));
        }
        // Each look is drawn (and kept) for itself: another colour or size is another picture.
        const QImage blue = ostrel::symbolPixmap(names.first(), 20, QColor(Qt::blue), 1).toImage();
        QCOMPARE(blue.size(), QSize(20, 20));
        QVERIFY(inked(blue, QColor(Qt::blue)) > 0);
        QVERIFY(ostrel::symbolIcon("no.such.symbol").isNull());
    }

    // A script of what the user does and what must hold: E enters and L leaves with the pointer,
    // C clicks, P presses Space, H hides the control, +N lets N ms pass; a asserts it is armed and
    // d disarmed, rN that the action ran N times, t0 that no time-out is pending.
    void confirmArmingScript_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("two quick clicks run it once, then the next click arms again")
            << "E C a r0 +200 C d r1 t0 C a r1";
        QTest::newRow("hovered it stays armed; each exit restarts the full three seconds")
            << "E C a t0 +60000 a L +2900 a E +10000 a L +2999 a +1 d r0";
        QTest::newRow("armed from the keyboard, it disarms after three seconds") << "P a +2999 a +1 d r0 t0";
        QTest::newRow("hidden while armed, it never changes") << "P H L +60000 a r0 t0";
        QTest::newRow("re-armed under the pointer, an earlier arming's time-out does not disarm it")
            << "P +2000 P r1 E C +5000 a";
    }
    void confirmArmingScript()
    {
        QFETCH(QString, script);
        Confirm f;
        for (const QString &step : script.split(' ')) {
            if (step == "E")
                f.enter();
            else if (step == "L")
                f.leave();
            else if (step == "C")
                QTest::mouseClick(f.control.get(), Qt::LeftButton, {}, QPoint(5, 5));
            else if (step == "P") {
                f.control->setFocus();
                QTest::keyClick(f.control.get(), Qt::Key_Space);
            } else if (step == "H")
                f.control->hide();
            else if (step.startsWith('+'))
                f.clock.advance(std::chrono::milliseconds(step.mid(1).toInt()));
            else if (step == "a" || step == "d")
                QVERIFY2(f.control->isConfirming() == (step == "a"), qPrintable(step));
            else if (step.startsWith('r'))
                QCOMPARE(f.runs, step.mid(1).toInt());
            else if (step == "t0")
                QVERIFY(!f.control->hasPendingTimeout() && f.clock.pendingCount() == 0);
            else
                QFAIL(qPrintable("unknown step " + step));
        }
        // The action always runs with the control already disarmed.
        QVERIFY(f.runs == 0 || f.disarmedWhenRun);
    }

    void statusColorRule_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<States>("states");
        QTest::addColumn<StatusColor>("expected");
        using S = TunnelRuntimeState;
        QTest::newRow("nothing running") << QStringList{} << States{} << StatusColor::white;
        QTest::newRow("running without a state") << QStringList{"a"} << States{} << StatusColor::white;
        QTest::newRow("only stopped") << QStringList{"a"} << States{{"a", S::stopped}} << StatusColor::white;
        QTest::newRow("connected") << QStringList{"a"} << States{{"a", S::connected}} << StatusColor::green;
        QTest::newRow("starting") << QStringList{"a"} << States{{"a", S::starting}} << StatusColor::orange;
        QTest::newRow("connected and reconnecting")
            << QStringList{"a", "b"} << States{{"a", S::connected}, {"b", S::connecting}}
            << StatusColor::orange;
        QTest::newRow("red wins over connected and busy")
            << QStringList{"a", "b", "c"}
            << States{{"a", S::connected}, {"b", S::connecting}, {"c", S::failed}} << StatusColor::red;
        QTest::newRow("disconnected is red")
            << QStringList{"a", "b"} << States{{"a", S::disconnected}, {"b", S::stopped}} << StatusColor::red;
        QTest::newRow("a failed tunnel that is not running does not count")
            << QStringList{"a"} << States{{"a", S::connected}, {"z", S::failed}} << StatusColor::green;
    }
    void statusColorRule()
    {
        QFETCH(QStringList, running);
        QFETCH(States, states);
        QTEST(ostrel::statusColor(QSet<QString>(running.begin(), running.end()), states), "expected");
    }

    void statusImagesAreRetinaLettersInTheirColour()
    {
        QImage strip(QSize(4 * 64, 64), QImage::Format_ARGB32_Premultiplied);
        strip.fill(QColor(40, 40, 46));
        QPainter stripPainter(&strip);
        const QList<StatusColor> colors{StatusColor::white, StatusColor::green, StatusColor::orange,
                                        StatusColor::red};
        for (int i = 0; i < colors.size(); ++i) {
            const QImage image = ostrel::statusImage(colors[i]);
            QCOMPARE(image.size(), QSize(56, 56));
            QCOMPARE(image.devicePixelRatio(), 2.0);
            // Made once: the same image every time.
            QCOMPARE(ostrel::statusImage(colors[i]).cacheKey(), image.cacheKey());
            QCOMPARE(image.pixelColor(1, 1).alpha(), 0); // transparent corner
            // The letter's body (left of the eye, below the centre) is solid in the status colour.
            const QColor body = image.pixelColor(22, 33);
            QCOMPARE(body.alpha(), 255);
            QCOMPARE(body.rgb(), ostrel::statusTint(colors[i]).rgb());
            stripPainter.drawImage(QPointF(i * 64 + 4, 4), image);
        }
        stripPainter.end();
        QVERIFY(strip.save(ostrel::test::screenshotPath("status-images")));
    }

    // The shared controls in their states, in both languages.
    void screenshotsInBothLanguages()
    {
        // The header's log-out and the footer's quit, each idle and armed, and a busy button.
        // (Banners, fields, the mark and idle buttons are on every screen's screenshots.)
        ManualClock clock;
        QWidget gallery;
        gallery.setAutoFillBackground(true);
        auto *column = new QVBoxLayout(&gallery);
        auto *row = new QHBoxLayout;
        QList<ConfirmAction *> confirms;
        for (int i = 0; i < 4; ++i) {
            const auto label =
                i < 2 ? ConfirmAction::symbolLabel("rectangle.portrait.and.arrow.right", "common.confirm")
                      : ConfirmAction::textLabel("menubar.quit", "common.confirm");
            confirms << new ConfirmAction(3s, {}, i < 2 ? "settings.danger.logout" : "",
                                          i < 2 ? "menubar.confirmLogout" : "menubar.confirmQuit", label,
                                          nullptr, clock);
            row->addWidget(confirms.last());
        }
        column->addLayout(row);
        auto *loading = new PrimaryButton("auth.signIn");
        loading->setLoading(true);
        column->addWidget(loading);
        gallery.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gallery));
        for (auto *armed : {confirms[1], confirms[3]}) {
            armed->setFocus();
            QTest::keyClick(armed, Qt::Key_Space);
            QVERIFY(armed->isConfirming());
        }
        const QString before = ostrel::LocalizableXCStrings::shared().preferredLanguage();
        for (const QString language : {"en", "es"}) {
            ostrel::LocalizableXCStrings::shared().setPreferredLanguage(language);
            QEvent change(QEvent::LanguageChange);
            QApplication::sendEvent(&gallery, &change);
            gallery.resize(360, gallery.sizeHint().height());
            QCOMPARE(confirms[0]->accessibleName(), ostrel::localized("settings.danger.logout", language));
            QCOMPARE(confirms[1]->accessibleName(), ostrel::localized("menubar.confirmLogout", language));
            QCOMPARE(confirms[1]->toolTip(), ostrel::localized("menubar.confirmLogout", language));
            ostrel::test::saveScreenshot(gallery, "controls-" + language);
        }
        ostrel::LocalizableXCStrings::shared().setPreferredLanguage(before);
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
