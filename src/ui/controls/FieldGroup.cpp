#include "ui/controls/FieldGroup.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace ostrel {

namespace {
void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

// The message text: wraps when asked to, otherwise one line cut at the end with an ellipsis.
class MessageLabel : public QLabel {
public:
    explicit MessageLabel(QWidget *parent) : QLabel(parent) {}

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (wordWrap()) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        const QRect r = contentsRect();
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
    }
};

// The rounded input box; its border shows the error state.
class FieldBox : public QWidget {
public:
    explicit FieldBox(QWidget *parent) : QWidget(parent) {}
    void setErrored(bool errored)
    {
        m_errored = errored;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal width = m_errored ? 1.4 : 0.8;
        const QRectF bounds = QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2);
        const QColor primary = Palette::primaryText(this);
        painter.setBrush(Palette::withOpacity(primary, 0.04));
        painter.setPen(QPen(m_errored ? Palette::errorRed() : Palette::withOpacity(primary, 0.10), width));
        painter.drawRoundedRect(bounds, 9 - width / 2, 9 - width / 2);
    }

private:
    bool m_errored = false;
};
} // namespace

FieldGroup::FieldGroup(QString labelKey, QString placeholderKey, QLineEdit *content, QWidget *trailing,
                       QWidget *parent)
    : QWidget(parent), m_labelKey(std::move(labelKey)), m_placeholderKey(std::move(placeholderKey)),
      m_content(content ? content : new QLineEdit), m_trailing(trailing)
{
    // Caption row.
    m_caption = new QLabel(this);
    m_caption->setObjectName("caption");
    m_caption->setFont(systemFont(11, QFont::Bold, 0.6));
    setTextColor(m_caption, Palette::secondaryText(this));

    m_reviewBadge = new QWidget(this);
    m_reviewBadge->setObjectName("review");
    m_reviewIcon = new QLabel(m_reviewBadge);
    m_reviewText = new QLabel(m_reviewBadge);
    m_reviewText->setFont(systemFont(11, QFont::Bold));
    setTextColor(m_reviewText, Palette::errorRed());
    auto *badgeRow = new QHBoxLayout(m_reviewBadge);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeRow->setSpacing(4);
    badgeRow->addWidget(m_reviewIcon);
    badgeRow->addWidget(m_reviewText);

    auto *captionRow = new QHBoxLayout;
    captionRow->setContentsMargins(0, 0, 0, 0);
    captionRow->addWidget(m_caption);
    captionRow->addStretch(1);
    captionRow->addWidget(m_reviewBadge);

    // Input box: the placeholder lies under the transparent line edit.
    auto *box = new FieldBox(this);
    m_box = box;
    m_box->setObjectName("box");
    m_placeholder = new QLabel(m_box);
    m_placeholder->setObjectName("placeholder");
    m_placeholder->setFont(systemFont(13));
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextColor(m_placeholder, Palette::tertiaryText(this));

    m_content->setParent(m_box);
    m_content->setFrame(false);
    m_content->setFont(systemFont(13));
    m_content->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette editPalette = m_content->palette();
    editPalette.setColor(QPalette::Base, Qt::transparent);
    m_content->setPalette(editPalette);
    m_content->setTextMargins(0, 0, 0, 0);
    m_content->setContentsMargins(0, 0, 0, 0);
    // Qt draws a line edit's own placeholder too; this one is ours.
    m_content->setPlaceholderText(QString());

    auto *stack = new QStackedLayout;
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->addWidget(m_content);
    stack->addWidget(m_placeholder);
    m_content->raise();

    auto *boxRow = new QHBoxLayout(m_box);
    boxRow->setContentsMargins(12, 9, 12, 9);
    boxRow->setSpacing(6);
    boxRow->addLayout(stack, 1);
    if (m_trailing) {
        m_trailing->setParent(m_box);
        boxRow->addWidget(m_trailing, 0, Qt::AlignVCenter);
    }
    m_box->setFixedHeight(24 + 2 * 9);

    // Message line: its height is kept even when empty.
    m_messageLine = new QWidget(this);
    m_messageLine->setObjectName("messageLine");
    m_messageLine->setMinimumHeight(messageLineHeight);
    m_messageLine->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_messageIcon = new QLabel(m_messageLine);
    m_messageIcon->setObjectName("messageIcon");
    m_messageIcon->setFixedSize(12, 14);
    m_messageText = new MessageLabel(m_messageLine);
    m_messageText->setObjectName("messageText");
    m_messageText->setFont(systemFont(12));
    m_messageText->setTextFormat(Qt::PlainText);
    m_messageText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *messageRow = new QHBoxLayout(m_messageLine);
    messageRow->setContentsMargins(2, 0, 0, 0);
    messageRow->setSpacing(4);
    messageRow->addWidget(m_messageIcon, 0, Qt::AlignTop);
    messageRow->addWidget(m_messageText, 1);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    column->addLayout(captionRow);
    column->addWidget(m_box);
    column->addWidget(m_messageLine);

    connect(m_content, &QLineEdit::textChanged, this, [this](const QString &text) {
        refreshPlaceholder();
        emit textChanged(text);
    });
    setFocusProxy(m_content);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    retranslate();
    refreshState();
    refreshPlaceholder();
}

QString FieldGroup::text() const
{
    return m_content->text();
}

void FieldGroup::setText(const QString &text)
{
    m_content->setText(text);
}

void FieldGroup::setErrored(bool errored)
{
    m_errored = errored;
    refreshState();
}

void FieldGroup::setSupportText(std::optional<QString> text)
{
    m_supportText = std::move(text);
    refreshState();
}

void FieldGroup::setHintText(std::optional<QString> text)
{
    m_hintText = std::move(text);
    refreshState();
}

void FieldGroup::refreshPlaceholder()
{
    // Exactly the empty string shows the placeholder; a lone space is content.
    m_placeholder->setVisible(m_content->text().isEmpty());
}

void FieldGroup::refreshState()
{
    m_reviewBadge->setVisible(m_errored);
    static_cast<FieldBox *>(m_box)->setErrored(m_errored);

    const bool support = m_supportText.has_value();
    const bool hint = !support && m_hintText.has_value();
    const QColor color = support ? Palette::errorRed() : Palette::secondaryText(this);
    m_messageIcon->setVisible(support || hint);
    m_messageText->setVisible(support || hint);
    if (support || hint) {
        const QString symbol =
            support ? QStringLiteral("exclamationmark.triangle.fill") : QStringLiteral("info.circle");
        m_messageIcon->setPixmap(symbolPixmap(symbol, 10, color, devicePixelRatioF()));
        setTextColor(m_messageText, color);
        // A support text may take two lines; a hint keeps to one, cut at the end.
        const QFontMetrics metrics(m_messageText->font());
        if (support) {
            m_messageText->setWordWrap(true);
            m_messageText->setMaximumHeight(2 * metrics.lineSpacing());
            m_messageText->setText(*m_supportText);
            m_messageText->setToolTip(QString());
        } else {
            m_messageText->setWordWrap(false);
            m_messageText->setMaximumHeight(metrics.lineSpacing());
            m_messageText->setText(*m_hintText);
            m_messageText->setToolTip(*m_hintText);
        }
    }
    m_content->setAccessibleDescription(support ? *m_supportText : hint ? *m_hintText : QString());
    updateGeometry();
}

void FieldGroup::retranslate()
{
    const QString caption = localized(m_labelKey);
    m_caption->setText(caption.toUpper());
    m_placeholder->setText(localized(m_placeholderKey));
    m_reviewText->setText(localized(QStringLiteral("auth.field.review")));
    m_reviewIcon->setPixmap(symbolPixmap(QStringLiteral("exclamationmark.circle.fill"), 11,
                                         Palette::errorRed(), devicePixelRatioF()));
    m_content->setAccessibleName(caption);
}

void FieldGroup::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
