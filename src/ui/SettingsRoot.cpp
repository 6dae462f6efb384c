#include "ui/SettingsRoot.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/LanguageFollower.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/settings/SettingsView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

namespace {
QLabel *secondaryLabel(const QString &text, int pixelSize, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(systemFont(pixelSize));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Palette::secondaryText(parent));
    label->setPalette(palette);
    return label;
}
} // namespace

SettingsRoot::SettingsRoot(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("settingsRoot"));
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    connect(&m_state, &AppState::sessionChanged, this, &SettingsRoot::refresh);
    followLanguage(this, m_state);
    refresh();
}

QString SettingsRoot::text(const QString &key) const
{
    return localized(key, m_state.language());
}

void SettingsRoot::refresh()
{
    const bool locked = !m_state.session().has_value();
    if (m_hasPage && locked == m_locked)
        return;
    if (m_page) {
        m_layout->removeWidget(m_page);
        m_page->hide();
        m_page->deleteLater();
    }
    m_locked = locked;
    m_hasPage = true;
    m_page = locked ? createLockPage() : createSettingsPage();
    m_layout->addWidget(m_page);
}

SettingsView *SettingsRoot::settingsView() const
{
    return m_locked ? nullptr : qobject_cast<SettingsView *>(m_page);
}

QWidget *SettingsRoot::createLockPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("settingsLock"));
    auto *outer = new QVBoxLayout(page);
    auto *frame = new QWidget(page);
    frame->setFixedSize(360, 200);
    auto *stack = new QVBoxLayout(frame);
    stack->setSpacing(8);
    stack->addStretch(1);
    auto *icon = new QLabel(frame);
    icon->setPixmap(
        symbolPixmap(QStringLiteral("lock.fill"), 24, Palette::secondaryText(this), devicePixelRatioF()));
    icon->setAccessibleName(QString());
    stack->addWidget(icon, 0, Qt::AlignHCenter);
    QLabel *message = secondaryLabel(text(OSTREL_KEY("app.lock.message")), 13, frame);
    message->setObjectName(QStringLiteral("lockMessage"));
    message->setAlignment(Qt::AlignHCenter);
    message->setWordWrap(true);
    stack->addWidget(message);
    stack->addStretch(1);
    outer->addWidget(frame, 0, Qt::AlignCenter);
    return page;
}

QWidget *SettingsRoot::createSettingsPage()
{
    return new SettingsView(m_state, this);
}

void SettingsRoot::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The lock page is plain text: building it again is the simplest retranslation. The
    // settings re-read their own texts and keep their state.
    if (event->type() == QEvent::LanguageChange && m_hasPage && m_locked) {
        m_hasPage = false;
        refresh();
    }
}

} // namespace ostrel
