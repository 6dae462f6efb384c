#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class ToggleSwitch;

// A preference row: a symbol, a title over a subtitle, and a switch at the end. Texts arrive
// localised; the switch is named after the title and described by the subtitle.
class SwitchRow : public QWidget {
    Q_OBJECT
public:
    SwitchRow(const QString &symbol, QWidget *parent = nullptr);

    ToggleSwitch *toggle() const { return m_switch; }
    void setTexts(const QString &title, const QString &subtitle);
    QString title() const;
    QString subtitle() const;

private:
    QLabel *m_title;
    QLabel *m_subtitle;
    ToggleSwitch *m_switch;
};

} // namespace ostrel
