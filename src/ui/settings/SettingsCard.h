#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace ostrel {

// A settings card: a column padded 14 on a rounded rectangle (radius 10) filled with the primary
// colour at opacity 0.03, or, with a border colour, only outlined in it.
class SettingsCard : public QWidget {
    Q_OBJECT
public:
    explicit SettingsCard(int spacing, QWidget *parent = nullptr,
                          std::optional<QColor> border = std::nullopt);
    QVBoxLayout *column() const { return m_column; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVBoxLayout *m_column;
    std::optional<QColor> m_border;
};

} // namespace ostrel
