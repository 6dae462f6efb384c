#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>

#include <functional>

namespace ostrel {

// The popover header's small icon button: a symbol in `tint`, centred in a 26 by 26 square that
// gets a soft rounded fill while the pointer is on it. `helpKey` is its tooltip and accessible
// name; the texts follow the language through `language`.
class HeaderIconButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int side = 26;
    static constexpr int symbolSize = 13;

    HeaderIconButton(QString systemImage, QString helpKey, QColor tint, std::function<QString()> language,
                     std::function<void()> action, QWidget *parent = nullptr);

    QString systemImage() const { return m_systemImage; }
    bool isHovered() const { return m_hovered; }
    QSize sizeHint() const override { return QSize(side, side); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QString m_systemImage;
    QString m_helpKey;
    QColor m_tint;
    std::function<QString()> m_language;
    bool m_hovered = false;
};

} // namespace ostrel
