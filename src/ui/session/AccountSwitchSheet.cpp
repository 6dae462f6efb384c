#include "ui/session/AccountSwitchSheet.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/controls/TintedButton.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

namespace {

QLabel *wrappedLabel(const char *name, int size, QFont::Weight weight, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(systemFont(size, weight));
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

} // namespace

AccountSwitchSheet::AccountSwitchSheet(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("accountSwitchSheet"));
    setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 32, 24, 24);
    layout->setSpacing(10);

    auto *icon = new QLabel(this);
    icon->setPixmap(symbolPixmap(QStringLiteral("rectangle.portrait.and.arrow.right"), 30,
                                 Palette::brandBlue(), devicePixelRatioF()));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    m_title = wrappedLabel("title", 17, QFont::Bold, this);
    layout->addWidget(m_title);
    m_message = wrappedLabel("message", 13, QFont::Normal, this);
    layout->addWidget(m_message);
    m_newAccount = wrappedLabel("newAccount", 12, QFont::DemiBold, this);
    layout->addWidget(m_newAccount);
    m_detail = wrappedLabel("detail", 12, QFont::Normal, this);
    QPalette secondary = m_detail->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryText(this));
    m_detail->setPalette(secondary);
    layout->addWidget(m_detail);
    layout->addSpacing(8);

    m_confirm = new PrimaryButton(
        OSTREL_KEY("app.accountSwitch.confirm"), [this] { m_state.confirmAccountSwitch(); }, this);
    m_confirm->setObjectName(QStringLiteral("confirmSwitch"));
    layout->addWidget(m_confirm);
    m_cancel = new TintedButton(Palette::secondaryText(this), this);
    m_cancel->setObjectName(QStringLiteral("cancelSwitch"));
    m_cancel->setFocusPolicy(Qt::StrongFocus);
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { m_state.cancelAccountSwitch(); });
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    setTabOrder(m_confirm, m_cancel);

    parent->installEventFilter(this);
    connect(&m_state, &AppState::pendingAccountSwitchChanged, this, &AccountSwitchSheet::refresh);
    connect(&m_state, &AppState::sessionChanged, this, &AccountSwitchSheet::retranslate);
    refresh();
}

void AccountSwitchSheet::refresh()
{
    const bool asking = m_state.pendingAccountSwitch().has_value();
    retranslate();
    setGeometry(parentWidget()->rect());
    setVisible(asking);
    if (!asking)
        return;
    raise();
    m_confirm->setFocus(Qt::OtherFocusReason);
}

void AccountSwitchSheet::retranslate()
{
    const QString language = m_state.language();
    const std::optional<AppState::AccountSwitch> pending = m_state.pendingAccountSwitch();
    const std::optional<QString> current = pending ? pending->currentAccount : std::nullopt;
    const std::optional<QString> next = pending ? pending->newAccount : std::nullopt;
    m_title->setText(localized(OSTREL_KEY("app.accountSwitch.title"), language));
    m_message->setText(current ? LocalizableXCStrings::shared().format(
                                     OSTREL_KEY("app.accountSwitch.message"), {*current}, language)
                               : localized(OSTREL_KEY("app.accountSwitch.messageUnknownAccount"), language));
    m_newAccount->setVisible(next.has_value());
    m_newAccount->setText(next ? LocalizableXCStrings::shared().format(
                                     OSTREL_KEY("app.accountSwitch.newAccount"), {*next}, language)
                               : QString());
    m_detail->setText(localized(OSTREL_KEY("app.accountSwitch.detail"), language));
    m_cancel->setText(localized(OSTREL_KEY("common.cancel"), language));
    m_cancel->setAccessibleName(m_cancel->text());
    m_confirm->setAccessibleName(localized(OSTREL_KEY("app.accountSwitch.confirm"), language));
    setAccessibleName(m_title->text());
    setAccessibleDescription(m_message->text());
}

void AccountSwitchSheet::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        m_state.cancelAccountSwitch();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_cancel->hasFocus())
            m_state.cancelAccountSwitch();
        else
            m_state.confirmAccountSwitch();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void AccountSwitchSheet::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

bool AccountSwitchSheet::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

} // namespace ostrel
