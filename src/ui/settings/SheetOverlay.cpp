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

SheetOverlay::SheetOverlay(QWidget *content, std::function<void()> onEscape, QWidget *parent)
    : QWidget(parent), m_content(content), m_onEscape(std::move(onEscape))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    QWidget *panel = settingsstyle::roundedPanel(
        this, [](const QWidget &w) { return w.palette().color(QPalette::Window); }, 10,
        Palette::withOpacity(Palette::primaryText(this), 0.12));
    panel->setObjectName(QStringLiteral("sheetPanel"));
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    auto *scroll = new SheetScroll(panel);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(m_content);
    m_content->setAutoFillBackground(false);
    panelLayout->addWidget(scroll);
    panel->setFixedWidth(m_content->sizeHint().width() + 2);
    outer->addWidget(panel, 0, Qt::AlignHCenter | Qt::AlignVCenter);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void SheetOverlay::present()
{
    setGeometry(parentWidget()->rect());
    show();
    raise();
    if (QWidget *first = m_content->nextInFocusChain(); first && m_content->isAncestorOf(first))
        first->setFocus(Qt::TabFocusReason);
    else
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
