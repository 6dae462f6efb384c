#pragma once

#include <QWidget>

#include <functional>

class QScrollArea;

namespace ostrel {

// A sheet over a window's content: it covers its parent, dims what lies below and shows its
// content on a centred panel (scrolling when the window is too short for it). Escape runs
// `onEscape`. The caller shows and hides it; it follows the parent's size. Content is made with
// contentParent() as its parent (so its tab order is made in the window it lives in), then set.
class SheetOverlay : public QWidget {
    Q_OBJECT
public:
    SheetOverlay(std::function<void()> onEscape, QWidget *parent);
    QWidget *contentParent() const;
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }
    // Shows it over everything and gives its content the keyboard.
    void present();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_content = nullptr;
    QWidget *m_panel;
    QScrollArea *m_scroll;
    std::function<void()> m_onEscape;
};

} // namespace ostrel
