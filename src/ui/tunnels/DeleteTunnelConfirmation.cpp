#include "ui/tunnels/DeleteTunnelConfirmation.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/LanguageFollower.h"
#include "ui/controls/Palette.h"
#include "ui/controls/TintedButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

namespace {
// The alert's card, on the window colour.
class Card : public QWidget {
public:
    explicit Card(QWidget *parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Palette::withOpacity(Palette::primaryText(this), 0.12), 1));
        painter.setBrush(palette().color(QPalette::Window));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    }
};
} // namespace

DeleteTunnelConfirmation::DeleteTunnelConfirmation(AppState &state, Tunnel tunnel, QWidget *host)
    : QWidget(host), m_state(state), m_tunnel(std::move(tunnel))
{
    setObjectName(QStringLiteral("deleteConfirmation"));
    m_card = new Card(this);
    m_card->setFixedWidth(280);
    auto *column = new QVBoxLayout(m_card);
    column->setContentsMargins(16, 16, 16, 14);
    column->setSpacing(8);
    m_title = new QLabel(m_card);
    m_title->setObjectName(QStringLiteral("deleteTitle"));
    m_title->setFont(systemFont(14, QFont::Bold));
    m_title->setWordWrap(true);
    column->addWidget(m_title);
    m_message = new QLabel(m_card);
    m_message->setObjectName(QStringLiteral("deleteMessage"));
    m_message->setFont(systemFont(12));
    m_message->setWordWrap(true);
    column->addWidget(m_message);
    column->addSpacing(4);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_cancel = new TintedButton(Palette::gray(), m_card);
    m_cancel->setObjectName(QStringLiteral("deleteCancel"));
    m_cancel->setFocusPolicy(Qt::StrongFocus);
    connect(m_cancel, &QAbstractButton::clicked, this, &DeleteTunnelConfirmation::close);
    buttons->addWidget(m_cancel);
    m_delete = new TintedButton(Palette::errorRed(), m_card);
    m_delete->setObjectName(QStringLiteral("deleteConfirm"));
    m_delete->setFocusPolicy(Qt::StrongFocus);
    connect(m_delete, &QAbstractButton::clicked, this, &DeleteTunnelConfirmation::confirm);
    buttons->addWidget(m_delete);
    column->addLayout(buttons);
    setTabOrder(m_cancel, m_delete);

    host->installEventFilter(this);
    setGeometry(host->rect());
    // Its host may be above the view that follows the language: it follows it itself.
    followLanguage(this, m_state);
    retranslate();
    raise();
    show();
    // Cancel is focused: Return on a destructive alert must not delete by accident.
    m_cancel->setFocus(Qt::OtherFocusReason);
}

QString DeleteTunnelConfirmation::titleText() const
{
    return m_title->text();
}

QString DeleteTunnelConfirmation::messageText() const
{
    return m_message->text();
}

void DeleteTunnelConfirmation::close()
{
    hide();
    deleteLater();
}

void DeleteTunnelConfirmation::confirm()
{
    close();
    m_state.deleteTunnel(m_tunnel);
}

void DeleteTunnelConfirmation::retranslate()
{
    const QString language = m_state.language();
    m_title->setText(localized(OSTREL_KEY("tunnels.list.delete"), language));
    m_message->setText(localized(OSTREL_KEY("tunnels.list.delete.confirm"), language));
    m_cancel->setText(localized(OSTREL_KEY("common.cancel"), language));
    m_delete->setText(localized(OSTREL_KEY("tunnels.list.delete"), language));
    for (TintedButton *button : {m_cancel, m_delete}) {
        button->setAccessibleName(button->text());
        button->updateGeometry();
    }
    setAccessibleName(m_title->text());
    setAccessibleDescription(m_message->text());
    m_card->adjustSize();
    m_card->move((width() - m_card->width()) / 2, std::max(0, (height() - m_card->height()) / 3));
}

bool DeleteTunnelConfirmation::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        m_card->move((width() - m_card->width()) / 2, std::max(0, (height() - m_card->height()) / 3));
    }
    return QWidget::eventFilter(watched, event);
}

void DeleteTunnelConfirmation::paintEvent(QPaintEvent *)
{
    // Dims what lies under the alert.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 60));
}

void DeleteTunnelConfirmation::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *button = qobject_cast<QAbstractButton *>(focusWidget())) {
            button->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void DeleteTunnelConfirmation::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
