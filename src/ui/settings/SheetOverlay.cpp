#include "ui/settings/SheetOverlay.h"

#include "ui/controls/Palette.h"
#include "ui/settings/SettingsStyle.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ostrel {

namespace {

// As tall as its content wants (QScrollArea caps its hint at 24 lines); the layout limits it to
// the window and the bar appears only then.
class SheetScroll : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }
};
} // namespace

SheetOverlay::SheetOverlay(std::function<void()> onEscape, QWidget *parent)
    : QWidget(parent), m_onEscape(std::move(onEscape))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    m_panel = settingsstyle::roundedPanel(
        this, [](const QWidget &w) { return w.palette().color(QPalette::Window); }, 10,
        Palette::withOpacity(Palette::primaryText(this), 0.12));
    m_panel->setObjectName(QStringLiteral("sheetPanel"));
    auto *panelLayout = new QVBoxLayout(m_panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    m_scroll = new SheetScroll(m_panel);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->viewport()->setAutoFillBackground(false);
    panelLayout->addWidget(m_scroll);
    outer->addWidget(m_panel, 0, Qt::AlignHCenter | Qt::AlignVCenter);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

QWidget *SheetOverlay::contentParent() const
{
    return m_scroll->viewport();
}

void SheetOverlay::setContent(QWidget *content)
{
    m_content = content;
    m_content->setAutoFillBackground(false);
    m_scroll->setWidget(m_content);
    m_panel->setFixedWidth(m_content->sizeHint().width() + 2);
}

void SheetOverlay::present()
{
    setGeometry(parentWidget()->rect());
    show();
    raise();
    // The keyboard goes to the sheet's first control.
    for (QWidget *w = m_content->nextInFocusChain(); w && w != m_content; w = w->nextInFocusChain()) {
        if (m_content->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(m_content) &&
            w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    setFocus();
}

void SheetOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 60));
}

void SheetOverlay::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_onEscape) {
        m_onEscape();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool SheetOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

} // namespace ostrel
