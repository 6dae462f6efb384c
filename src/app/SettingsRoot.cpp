#include "app/SettingsRoot.h"

#include "app/LanguageFollower.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/OstrelIcon.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

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
    // Until the settings screens exist: the sections they will hold, in their order.
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("settingsSections"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(10);
    auto *title = new QLabel(text(OSTREL_KEY("settings.title")), page);
    title->setObjectName(QStringLiteral("settingsTitle"));
    title->setFont(systemFont(20, QFont::Bold));
    layout->addWidget(title);
    for (const QString &key :
         {OSTREL_KEY("settings.section.account"), OSTREL_KEY("settings.section.subscription"),
          OSTREL_KEY("settings.section.preferences"), OSTREL_KEY("settings.section.danger"),
          OSTREL_KEY("settings.section.about")}) {
        QLabel *section = secondaryLabel(text(key), 14, page);
        section->setObjectName(key);
        layout->addWidget(section);
    }
    layout->addStretch(1);
    return page;
}

void SettingsRoot::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && m_hasPage) {
        // The pages are plain texts: building them again is the simplest retranslation.
        m_hasPage = false;
        refresh();
    }
}

} // namespace ostrel
