#pragma once

// Helpers shared by the settings window's tests.

#include "l10n/LocalizableXCStrings.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QTest>
#include <QWidget>

namespace ostrel::test {

template <typename T = QWidget> T *child(const QObject &root, const QString &name)
{
    return root.findChild<T *>(name);
}

inline QString text(const QString &key, const QString &language)
{
    return LocalizableXCStrings::shared().localized(key, language);
}

inline QString labelText(const QObject &root, const QString &name)
{
    const QLabel *label = child<QLabel>(root, name);
    return label ? label->text() : QStringLiteral("<missing>");
}

// Every label's text below `root` that is on screen.
inline QStringList visibleTexts(const QWidget &root)
{
    QStringList texts;
    for (const QLabel *label : root.findChildren<QLabel *>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty())
            texts << label->text();
    return texts;
}

inline void saveScreenshot(QWidget &window, const QString &name)
{
    // Texts changed just now: let the layouts catch up, as they do before the next paint.
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QDir().mkpath(QStringLiteral(OSTREL_SCREENSHOT_DIR));
    const QString path = QStringLiteral(OSTREL_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
    QVERIFY2(window.grab().save(path), qPrintable(path));
}

} // namespace ostrel::test
