#include "app/PopoverWindow.h"

#include "app/PopoverPlacement.h"
#include "ui/controls/Palette.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace ostrel {

// A hairline around the popover, drawn over the content so the content keeps the full width; it
// lets every click through.
class PopoverWindow::Outline : public QWidget {
public:
    explicit Outline(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(Palette::withOpacity(Palette::primaryText(this), 0.18));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

PopoverWindow::PopoverWindow(Clock &clock, QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint),
      m_clock(clock)
{
    setObjectName(QStringLiteral("popover"));
    setWindowTitle(QStringLiteral("Ostrel"));
    setFixedSize(fixedSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_outline = new Outline(this);
}

void PopoverWindow::setContent(QWidget *content)
{
    m_content = content;
    content->setParent(this);
    static_cast<QVBoxLayout *>(layout())->addWidget(content, 1);
    m_outline->raise();
}

void PopoverWindow::popUp(const QRect &anchor)
{
    const bool hasAnchor = anchor.isValid() && !anchor.isEmpty();
    const QPoint pointer = QCursor::pos();
    QScreen *screen = QGuiApplication::screenAt(hasAnchor ? anchor.center() : pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), fixedSize);
    setGeometry(popoverGeometry(fixedSize, anchor, pointer, available));
    show();
    raise();
    activateWindow();
    focusFirstControl();
}

void PopoverWindow::focusFirstControl()
{
    // Every opening starts the keyboard at the top of the popover, on its first control.
    for (QWidget *widget = nextInFocusChain(); widget && widget != this;
         widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && widget->isVisibleTo(this)) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

bool PopoverWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowDeactivate && isVisible()) {
        // Which window took the activation is known only once the change is complete.
        QMetaObject::invokeMethod(this, &PopoverWindow::closeUnlessOwnWindowActive, Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

void PopoverWindow::closeUnlessOwnWindowActive()
{
    if (!isVisible() || isActiveWindow())
        return;
    // A window the popover opened (a dialog, a sheet) keeps it open.
    for (QWidget *window = QApplication::activeWindow(); window; window = window->parentWidget()) {
        if (window == this)
            return;
    }
    hide();
}

void PopoverWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    emit visibilityChanged(true);
}

void PopoverWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_lastHiddenAt = m_clock.now();
    m_hasBeenHidden = true;
    emit visibilityChanged(false);
}

void PopoverWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

void PopoverWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the popover like a click elsewhere does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopoverWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_outline->setGeometry(rect());
    m_outline->raise();
}

} // namespace ostrel
