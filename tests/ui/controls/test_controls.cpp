#include "l10n/LocalizableXCStrings.h"
#include "support/ManualClock.h"
#include "support/WidgetTest.h"
#include "ui/controls/ConfirmAction.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/OstrelLetter.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolIcon.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

using ostrel::ErrorBanner;
using ostrel::FieldGroup;
using ostrel::PrimaryButton;
namespace Palette = ostrel::Palette;

Q_DECLARE_METATYPE(ErrorBanner::Severity)

namespace {
bool shown(const QWidget *parent, const char *name)
{
    auto *child = parent->findChild<QWidget *>(name);
    return child && child->isVisibleTo(const_cast<QWidget *>(parent));
}

// True when `c` is clearly the given hue rather than a gray.
bool isBluish(const QColor &c)
{
    return c.blue() > c.red() + 60 && c.blue() > c.green() + 40;
}

void setLanguage(QWidget *root, const QString &language)
{
    ostrel::LocalizableXCStrings::shared().setPreferredLanguage(language);
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(root, &change);
}
} // namespace

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
        QTest::addColumn<ErrorBanner::Severity>("severity");
        QTest::addColumn<QString>("actionTitle");
        QTest::addColumn<bool>("withAction");
        QTest::addColumn<bool>("withDismiss");
        QTest::addColumn<bool>("actionShown");
        QTest::addColumn<QString>("titleKey");
        QTest::newRow("error, everything")
            << ErrorBanner::Severity::error << "Retry" << true << true << true << "common.error";
        QTest::newRow("warning, title without action")
            << ErrorBanner::Severity::warning << "Retry" << false << true << false << "common.warning";
        QTest::newRow("info, action without title")
            << ErrorBanner::Severity::info << "" << true << false << false << "common.info";
    }

    void bannerVariants()
    {
        QFETCH(ErrorBanner::Severity, severity);
        QFETCH(QString, actionTitle);
        QFETCH(bool, withAction);
        QFETCH(bool, withDismiss);
        QFETCH(bool, actionShown);
        QFETCH(QString, titleKey);
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

        QCOMPARE(shown(&banner, "action"), actionShown);
        QCOMPARE(shown(&banner, "close"), withDismiss);
        QVERIFY(shown(&banner, "icon"));
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

    void bannerMessageWrapsInsteadOfTruncating()
    {
        const QString longMessage =
            QString("Your free plan has used all of this month's bandwidth. ").repeated(4);
        ErrorBanner shortBanner(ErrorBanner::Severity::warning, "Short");
        ErrorBanner longBanner(ErrorBanner::Severity::warning, longMessage);
        QVERIFY(longBanner.heightForWidth(320) > shortBanner.heightForWidth(320) + 40);
    }

    void fieldVariants_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("errored");
        QTest::addColumn<QString>("support");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("placeholder");
        QTest::addColumn<QString>("message"); // empty: the message line shows nothing
        QTest::addColumn<bool>("redMessage");
        const QString none; // a null string stands for an absent text
        QTest::newRow("empty") << "" << false << none << none << true << "" << false;
        QTest::newRow("single space") << " " << false << none << none << false << "" << false;
        QTest::newRow("hint") << "a" << false << none << "Lowercase letters" << false << "Lowercase letters"
                              << false;
        QTest::newRow("support wins over hint") << "" << true << "Port must be 1-65535"
                                                << "Any free port" << true << "Port must be 1-65535" << true;
        QTest::newRow("errored without text") << "x" << true << none << none << false << "" << false;
    }

    void fieldVariants()
    {
        QFETCH(QString, text);
        QFETCH(bool, errored);
        QFETCH(QString, support);
        QFETCH(QString, hint);
        QFETCH(bool, placeholder);
        QFETCH(QString, message);
        QFETCH(bool, redMessage);
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

        QCOMPARE(shown(&field, "placeholder"), placeholder);
        QCOMPARE(shown(&field, "review"), errored);
        auto *messageText = field.findChild<QLabel *>("messageText");
        QCOMPARE(shown(&field, "messageText"), !message.isEmpty());
        QCOMPARE(shown(&field, "messageIcon"), !message.isEmpty());
        if (!message.isEmpty()) {
            QCOMPARE(messageText->text(), message);
            QCOMPARE(messageText->palette().color(QPalette::WindowText) == Palette::errorRed(), redMessage);
        }
        // One line of message takes no more room than the reserved empty line: nothing jumps.
        QCOMPARE(field.sizeHint().height(), emptyHeight);
    }

    void symbolsResolveForEveryName()
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
        const QStringList names =
            QString("xmark xmark.circle.fill chevron.left exclamationmark.circle.fill "
                    "exclamationmark.triangle.fill info.circle.fill info.circle gearshape "
                    "rectangle.portrait.and.arrow.right lock.fill plus.circle.fill play.circle.fill "
                    "stop.circle.fill doc.on.doc qrcode pencil trash checkmark.circle.fill globe bolt.fill "
                    "lock.shield.fill wifi.exclamationmark envelope.badge.shield.half.filled "
                    "bolt.horizontal.circle person.crop.circle crown exclamationmark.shield "
                    "calendar.badge.exclamationmark trash.fill bell bolt.slash.fill power arrow.down.circle "
                    "doc.text hand.raised envelope arrow.up.right.square arrow.counterclockwise.circle "
                    "bolt.circle checkmark.circle")
                .split(' ');
        for (const QString &name : names) {
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

    // The shared controls in their states, in both languages.
    void screenshotsInBothLanguages()
    {
        ostrel::test::ManualClock clock;
        QWidget gallery;
        gallery.setAutoFillBackground(true);
        auto *column = new QVBoxLayout(&gallery);
        auto *header = new QHBoxLayout;
        header->addWidget(new ostrel::OstrelIcon(40));
        header->addWidget(new ostrel::OstrelMonogram(26));
        header->addWidget(new ostrel::OstrelLetter(28, Palette::brandBlue()));
        // The header's log-out and the footer's quit, each idle and armed.
        QList<ostrel::ConfirmAction *> confirms;
        for (int i = 0; i < 4; ++i) {
            const auto label = i < 2 ? ostrel::ConfirmAction::symbolLabel(
                                           "rectangle.portrait.and.arrow.right", "common.confirm")
                                     : ostrel::ConfirmAction::textLabel("menubar.quit", "common.confirm");
            confirms << new ostrel::ConfirmAction(3, {}, i < 2 ? "settings.danger.logout" : "",
                                                  i < 2 ? "menubar.confirmLogout" : "menubar.confirmQuit",
                                                  label, nullptr, clock);
            header->addWidget(confirms.last());
        }
        column->addLayout(header);
        using Severity = ErrorBanner::Severity;
        column->addWidget(new ErrorBanner(
            Severity::error, "The e-mail address or password is wrong.", "Reset password", [] {}, [] {}));
        column->addWidget(new ErrorBanner(Severity::warning, "You have used 95% of this month's bandwidth.",
                                          "Upgrade", [] {}));
        column->addWidget(new ErrorBanner(Severity::info, "Check your inbox.", {}, {}, [] {}));
        auto *errored = new FieldGroup("auth.email", "auth.email.placeholder");
        errored->setText("someone@");
        errored->setErrored(true);
        errored->setSupportText(QString("Enter a valid e-mail address, such as name@example.com."));
        auto *port = new FieldGroup("tunnels.port", "tunnels.port.placeholder");
        port->setText("8080");
        port->setHintText(QString("The local port your service listens on."));
        auto *loading = new PrimaryButton("auth.signIn");
        loading->setLoading(true);
        // (Enabled and disabled buttons are on every form's screenshots.)
        for (QWidget *w : std::initializer_list<QWidget *>{errored, port, loading})
            column->addWidget(w);
        gallery.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gallery));
        for (auto *armed : {confirms[1], confirms[3]}) {
            armed->setFocus();
            QTest::keyClick(armed, Qt::Key_Space);
            QVERIFY(armed->isConfirming());
        }
        const QString before = ostrel::LocalizableXCStrings::shared().preferredLanguage();
        for (const QString language : {"en", "es"}) {
            setLanguage(&gallery, language);
            gallery.resize(360, gallery.heightForWidth(360) > 0 ? gallery.heightForWidth(360)
                                                                : gallery.sizeHint().height());
            QCOMPARE(errored->findChild<QLabel *>("caption")->text(),
                     ostrel::localized("auth.email", language).toUpper());
            QCOMPARE(confirms[1]->accessibleName(), ostrel::localized("menubar.confirmLogout", language));
            QCOMPARE(confirms[1]->toolTip(), ostrel::localized("menubar.confirmLogout", language));
            ostrel::test::saveScreenshot(gallery, "controls-" + language);
        }
        ostrel::LocalizableXCStrings::shared().setPreferredLanguage(before);
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
