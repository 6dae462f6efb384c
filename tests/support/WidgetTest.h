#pragma once

// What the widget tests share: catalogue texts, finding and typing into controls, screenshots.
// Header only: the support library itself links no widgets.

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/FieldGroup.h"

#include <QCoreApplication>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

namespace ostrel::test {

inline QString text(const QString &key, const QString &language = QStringLiteral("en"))
{
    return LocalizableXCStrings::shared().localized(key, language);
}

template <typename T = QWidget> T *child(const QObject &root, const QString &name)
{
    return root.findChild<T *>(name);
}

inline QString labelText(const QObject &root, const QString &name)
{
    const QLabel *label = child<QLabel>(root, name);
    return label ? label->text() : QStringLiteral("<missing>");
}

inline bool shown(const QObject &root, const QString &name)
{
    const QWidget *widget = child(root, name);
    return widget && widget->isVisible();
}

// Replaces the field's text as typed from the keyboard.
inline void type(FieldGroup *field, const QString &value)
{
    field->content()->selectAll();
    field->content()->del();
    QTest::keyClicks(field->content(), value);
}

// Lays out what changed just now, as the next paint would.
inline void settleLayouts()
{
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// A click on a control that may have appeared just now, once it has its size: a click on a
// control not laid out yet misses it.
inline void click(QWidget *control)
{
    settleLayouts();
    QTest::mouseClick(control, Qt::LeftButton);
}

// Where <name>.png goes in the screenshot folder, which is made when missing.
inline QString screenshotPath(const QString &name)
{
#ifdef OSTREL_SCREENSHOT_DIR
    const QString dir = QStringLiteral(OSTREL_SCREENSHOT_DIR);
#else
    const QString dir = qEnvironmentVariable("OSTREL_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
#endif
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name + QStringLiteral(".png");
}

// Saves <name>.png in the screenshot folder once every fade-in below `widget` is over and the
// layouts have caught up with texts changed just now, as they do before the next paint.
inline void saveScreenshot(QWidget &widget, const QString &name)
{
    const auto fading = [&widget] {
        if (qobject_cast<QGraphicsOpacityEffect *>(widget.graphicsEffect()))
            return true;
        for (const QWidget *child : widget.findChildren<QWidget *>())
            if (qobject_cast<QGraphicsOpacityEffect *>(child->graphicsEffect()))
                return true;
        return false;
    };
    QTRY_VERIFY(!fading());
    settleLayouts();
    const QString path = screenshotPath(name);
    QVERIFY2(widget.grab().save(path), qPrintable(path));
}

} // namespace ostrel::test
