#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace ostrel {

struct BannerState;
class SymbolButton;
class TintedButton;

// An inline notice: severity icon and title, a wrapping message, an optional action button and
// an optional close button, on a tinted rounded background.
class ErrorBanner : public QWidget {
    Q_OBJECT
public:
    enum class Severity { error, warning, info };

    // `message` and `actionTitle` arrive already localised. The action button exists only when
    // both `actionTitle` and `action` are given; the close button only with `onDismiss`.
    ErrorBanner(Severity severity, QString message, QString actionTitle = {},
                std::function<void()> action = {}, std::function<void()> onDismiss = {},
                QWidget *parent = nullptr);

    Severity severity() const { return m_severity; }
    void setSeverity(Severity severity);
    QString message() const;
    void setMessage(const QString &message);
    void setAction(const QString &actionTitle, std::function<void()> action);
    void setOnDismiss(std::function<void()> onDismiss);
    // Severity, text (its hint if it has one) and action of the app's banner.
    void setBanner(const BannerState &banner);

    static QColor tint(Severity severity);
    static QString symbol(Severity severity);
    static QString titleKey(Severity severity);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();

    Severity m_severity;
    QString m_actionTitle;
    std::function<void()> m_action;
    std::function<void()> m_onDismiss;
    QLabel *m_icon;
    QLabel *m_title;
    QLabel *m_message;
    TintedButton *m_actionButton;
    SymbolButton *m_closeButton;
};

} // namespace ostrel
