#pragma once

#include <QAbstractButton>
#include <QColor>

#include <optional>

namespace ostrel {

// A plain button drawn as a row: a symbol in a fixed box, the title, a flexible space and an
// optional trailing symbol. Used for the sidebar's sections (with a selected state) and for
// the about page's links. The title arrives localised and is the accessible name.
class SettingsRowButton : public QAbstractButton {
    Q_OBJECT
public:
    struct Look {
        QString symbol;
        int symbolSize = 12;
        int symbolBox = 16;
        int textSize = 12;
        QString trailingSymbol = {};           // empty: none
        std::optional<QColor> tint = {};       // text colour; none: the primary text colour
        std::optional<QColor> symbolTint = {}; // none: the text colour
        int horizontalPadding = 12;
        int verticalPadding = 6;
    };

    explicit SettingsRowButton(Look look, QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    void setTitle(const QString &title);
    void setSymbol(const QString &symbol, std::optional<QColor> tint);
    QString symbol() const { return m_look.symbol; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont titleFont() const;

    Look m_look;
    bool m_selected = false;
};

} // namespace ostrel
