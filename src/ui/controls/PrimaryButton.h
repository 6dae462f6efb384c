#pragma once

#include "ui/controls/ButtonStyles.h"

#include <QAbstractButton>
#include <QImage>

class QTimer;

namespace ostrel {

// The full-width call-to-action button: a blue gradient with a soft shadow, a loading state with
// a spinner before its text, and a pressed state. A loading button keeps its enabled look but
// accepts no clicks; a disabled one (QWidget::setEnabled(false)) is drawn gray at half opacity.
class PrimaryButton : public QAbstractButton {
    Q_OBJECT
public:
    // `titleKey` is a text key; `action` may be empty (`triggered()` is emitted either way).
    explicit PrimaryButton(QString titleKey, std::function<void()> action = {}, QWidget *parent = nullptr);
    // Custom content instead of a title.
    explicit PrimaryButton(LabelContent label, std::function<void()> action = {}, QWidget *parent = nullptr);

    QString titleKey() const { return m_titleKey; }
    void setTitleKey(const QString &key);

    bool isLoading() const { return m_loading; }
    void setLoading(bool loading);

    bool isPressed() const { return m_pressed; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Room kept around the button's face for its shadow.
    static QMargins shadowMargins();

signals:
    void triggered();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void init();
    void handleClick();
    void retranslate();
    void updateSpinner();
    QString contentText() const;
    QSize contentSize() const;
    QRectF faceRect() const;
    void paintShadow(QPainter &painter, const QRectF &face);

    QString m_titleKey;
    LabelContent m_label;
    std::function<void()> m_action;
    bool m_loading = false;
    bool m_pressed = false;
    bool m_keyboardFocus = false;
    int m_spinnerAngle = 0;
    QTimer *m_spinnerTimer = nullptr;
    QImage m_shadowCache;
    QString m_shadowKey;
};

} // namespace ostrel
