#pragma once

#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;

namespace ostrel {

// A labelled form field: an upper-cased caption (with a "review" badge while errored), an input
// box holding the caller's line edit over its placeholder and an optional trailing widget, and a
// message line that always keeps its height so the form does not jump when a message appears.
class FieldGroup : public QWidget {
    Q_OBJECT
public:
    // `labelKey`/`placeholderKey` are text keys. `content` is the input (a plain or password
    // line edit); a plain one is made when null. FieldGroup takes ownership of `content` and
    // `trailing`.
    FieldGroup(QString labelKey, QString placeholderKey, QLineEdit *content = nullptr,
               QWidget *trailing = nullptr, QWidget *parent = nullptr);

    QLineEdit *content() const { return m_content; }
    QWidget *trailing() const { return m_trailing; }

    QString text() const;
    void setText(const QString &text);

    bool isErrored() const { return m_errored; }
    void setErrored(bool errored);
    // Already-localised texts; absent (std::nullopt) hides them. The support text wins.
    std::optional<QString> supportText() const { return m_supportText; }
    void setSupportText(std::optional<QString> text);
    std::optional<QString> hintText() const { return m_hintText; }
    void setHintText(std::optional<QString> text);

    // Height kept for the message line whether or not it shows anything.
    static constexpr int messageLineHeight = 16;

signals:
    void textChanged(const QString &text);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void refreshPlaceholder();
    void refreshState();

    QString m_labelKey;
    QString m_placeholderKey;
    bool m_errored = false;
    std::optional<QString> m_supportText;
    std::optional<QString> m_hintText;

    QLabel *m_caption;
    QWidget *m_reviewBadge;
    QLabel *m_reviewIcon;
    QLabel *m_reviewText;
    QWidget *m_box;
    QLabel *m_placeholder;
    QLineEdit *m_content;
    QWidget *m_trailing;
    QWidget *m_messageLine;
    QLabel *m_messageIcon;
    QLabel *m_messageText;
};

} // namespace ostrel
