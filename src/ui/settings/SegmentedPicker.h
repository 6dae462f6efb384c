#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QAbstractButton;

namespace ostrel {

// A segmented control of a few exclusive options. `activated` fires only for the user's choice
// (a click, the arrow keys moving between segments, an accessibility toggle), never for setValue.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    SegmentedPicker(const QStringList &values, QWidget *parent = nullptr);

    QString value() const;
    void setValue(const QString &value);
    // Localised texts, one per value, in the order of the values.
    void setTexts(const QStringList &texts);
    QAbstractButton *segment(const QString &value) const;

signals:
    void activated(const QString &value);

private:
    QStringList m_values;
    QList<QAbstractButton *> m_segments;
    bool m_settingValue = false;
};

} // namespace ostrel
