#pragma once

#include <QWidget>

#include <QStringList>

class QAbstractButton;
class QButtonGroup;

namespace ostrel {

// The editor's protocol choice: a row of mutually exclusive segments on a rounded track, the selected one
// raised. Segment titles are text keys, re-read on a language change. Left and right arrows move the
// selection.
class ProtocolPicker : public QWidget {
    Q_OBJECT
public:
    explicit ProtocolPicker(QStringList titleKeys, QWidget *parent = nullptr);

    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index); // emits nothing
    QAbstractButton *segment(int index) const;

signals:
    void currentIndexChanged(int index); // only on a change made by the user

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void select(int index, bool byUser);
    void retranslate();

    QStringList m_titleKeys;
    QButtonGroup *m_group;
    int m_current = 0;
};

} // namespace ostrel
