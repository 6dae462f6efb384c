#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace ostrel {

class PrimaryButton;

// The end state of a form (a mail sent, a password changed, a link that no longer works): a
// symbol, a title, a body text and one button. Texts are keys, read in `language()`.
class OutcomePanel : public QWidget {
    Q_OBJECT
public:
    struct Content {
        QString symbol;
        QColor tint;
        QString titleKey;
        QString bodyKey;
        QString buttonKey;
        std::function<void()> action;
    };

    OutcomePanel(Content content, std::function<QString()> language, QWidget *parent = nullptr);

    QString titleText() const;
    PrimaryButton *button() const { return m_button; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    Content m_content;
    std::function<QString()> m_language;
    QLabel *m_title;
    QLabel *m_body;
    PrimaryButton *m_button;
};

} // namespace ostrel
