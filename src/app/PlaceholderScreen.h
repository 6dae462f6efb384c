#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;

namespace ostrel {

class TintedButton;

// Stands in for a screen that is not built yet, and says which screen it is: a symbol, the
// screen's own title and subtitle (text keys) and, where the screen would let the user move on,
// one button. `objectName` names the screen for tests and assistive technology.
class PlaceholderScreen : public QWidget {
    Q_OBJECT
public:
    struct Content {
        QString screenName; // objectName, e.g. "screen.signIn"
        QString symbol;     // empty: the application mark
        QString titleKey;
        // The line below the title in a language; see keyText for a fixed key.
        std::function<QString(const QString &language)> subtitle;
        QString buttonKey = {}; // empty: no button
        std::function<void()> action = {};
    };

    PlaceholderScreen(Content content, std::function<QString()> language, QWidget *parent = nullptr);

    // A subtitle that is the text of `key`.
    static std::function<QString(const QString &language)> keyText(const QString &key);

    QString titleText() const;
    QString subtitleText() const;
    TintedButton *button() const { return m_button; }

    // Re-reads the texts (after a language change, or when the subtitle's source changed).
    void retranslate();

protected:
    void changeEvent(QEvent *event) override;

private:
    Content m_content;
    std::function<QString()> m_language;
    QLabel *m_title;
    QLabel *m_subtitle;
    TintedButton *m_button = nullptr;
};

} // namespace ostrel
