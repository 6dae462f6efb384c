#pragma once

#include <QAbstractButton>

namespace ostrel {

// A borderless button showing one symbol in the secondary text colour, padded `padding` on every
// side; `helpKey` (a text key) is its tooltip and accessible name, re-read on a language change.
class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(QString symbol, int symbolSize, QString helpKey, QWidget *parent = nullptr, int padding = 4);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    QString m_symbol;
    int m_symbolSize;
    int m_padding;
    QString m_helpKey;
};

} // namespace ostrel
