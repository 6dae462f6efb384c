#include "ui/settings/SettingsView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/Palette.h"
#include "ui/settings/AboutSection.h"
#include "ui/settings/AccountSection.h"
#include "ui/settings/DangerZoneSection.h"
#include "ui/settings/DeleteAccountSheet.h"
#include "ui/settings/PreferencesSection.h"
#include "ui/settings/SettingsRowButton.h"
#include "ui/settings/SettingsStyle.h"
#include "ui/settings/SheetOverlay.h"
#include "ui/settings/SubscriptionSection.h"
#include "ui/upgrade/UpgradeView.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ostrel {

namespace {
constexpr SettingsView::Section allSections[] = {
    SettingsView::Section::cuenta, SettingsView::Section::suscripcion, SettingsView::Section::preferencias,
    SettingsView::Section::zona, SettingsView::Section::acerca};

QString sectionSymbol(SettingsView::Section section)
{
    using S = SettingsView::Section;
    switch (section) {
    case S::cuenta:
        return QStringLiteral("person.crop.circle");
    case S::suscripcion:
        return QStringLiteral("crown");
    case S::preferencias:
        return QStringLiteral("gearshape");
    case S::zona:
        return QStringLiteral("exclamationmark.shield");
    case S::acerca:
        break;
    }
    return QStringLiteral("info.circle");
}

class Sidebar : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Palette::withOpacity(Palette::primaryText(this), 0.02));
    }
};

} // namespace

QString SettingsView::titleKey(Section section)
{
    switch (section) {
    case Section::cuenta:
        return OSTREL_KEY("settings.section.account");
    case Section::suscripcion:
        return OSTREL_KEY("settings.section.subscription");
    case Section::preferencias:
        return OSTREL_KEY("settings.section.preferences");
    case Section::zona:
        return OSTREL_KEY("settings.section.danger");
    case Section::acerca:
        break;
    }
    return OSTREL_KEY("settings.section.about");
}

SettingsView::SettingsView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("settingsView"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_body = new QWidget(this);
    outer->addWidget(m_body);
    auto *row = new QHBoxLayout(m_body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    // Sidebar.
    auto *sidebar = new Sidebar(m_body);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setFixedWidth(sidebarWidth);
    auto *side = new QVBoxLayout(sidebar);
    side->setContentsMargins(6, 14, 6, 14);
    side->setSpacing(4);
    m_sidebarTitle = settingsstyle::label(sidebar, 12, QFont::DemiBold, Palette::secondaryText(this));
    m_sidebarTitle->setContentsMargins(12, 0, 12, 6);
    side->addWidget(m_sidebarTitle);
    for (Section section : allSections) {
        const bool danger = section == Section::zona;
        auto *button = new SettingsRowButton(
            {.symbol = sectionSymbol(section),
             .tint = danger ? std::optional<QColor>(Palette::errorRed()) : std::nullopt},
            sidebar);
        button->setObjectName(QStringLiteral("sidebar.") + titleKey(section));
        connect(button, &QAbstractButton::clicked, this, [this, section] { select(section); });
        button->installEventFilter(this);
        side->addWidget(button);
        m_sidebarButtons.append(button);
    }
    side->addStretch(1);
    m_email = settingsstyle::label(sidebar, 10, QFont::Normal, Palette::tertiaryText(this));
    m_email->setObjectName(QStringLiteral("sidebarEmail"));
    m_email->setContentsMargins(12, 0, 12, 8);
    m_email->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side->addWidget(m_email);
    row->addWidget(sidebar);
    row->addWidget(settingsstyle::divider(m_body, 0.4));
    // The divider is vertical here.
    row->itemAt(row->count() - 1)->widget()->setFixedSize(1, QWIDGETSIZE_MAX);
    row->itemAt(row->count() - 1)->widget()->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    // Detail.
    m_scroll = new QScrollArea(m_body);
    m_scroll->setObjectName(QStringLiteral("detail"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(m_scroll);
    m_detail = new QVBoxLayout(content);
    m_detail->setContentsMargins(20, 20, 20, 20);
    m_detail->setSpacing(16);
    m_title = settingsstyle::label(content, 16, QFont::Bold, Palette::primaryText(this));
    m_title->setObjectName(QStringLiteral("sectionTitle"));
    m_title->setContentsMargins(0, 0, 0, 4);
    m_detail->addWidget(m_title);
    m_banner = new ErrorBanner(
        ErrorBanner::Severity::info, QString(), {}, {}, [this] { m_state.setBanner(std::nullopt); }, content);
    m_banner->setObjectName(QStringLiteral("settingsBanner"));
    m_detail->addWidget(m_banner);
    m_scroll->setWidget(content);
    row->addWidget(m_scroll, 1);

    // The upgrade sheet, over everything while AppState asks for it.
    m_upgradeOverlay = new SheetOverlay([this] { m_state.setShowingUpgrade(false); }, this);
    auto *upgrade = new QWidget(m_upgradeOverlay->contentParent());
    auto *upgradeLayout = new QVBoxLayout(upgrade);
    upgradeLayout->setContentsMargins(14, 14, 14, 14);
    upgradeLayout->addWidget(new UpgradeView(m_state, upgrade));
    m_upgradeOverlay->setContent(upgrade);
    m_upgradeOverlay->setObjectName(QStringLiteral("upgradeSheet"));

    connect(&m_state, &AppState::bannerChanged, this, &SettingsView::refreshBanner);
    connect(&m_state, &AppState::showingUpgradeChanged, this, &SettingsView::refreshUpgradeSheet);
    connect(&m_state, &AppState::sessionChanged, this, &SettingsView::refreshIdentity);
    select(Section::cuenta);
    retranslate();
    refreshBanner();
    refreshUpgradeSheet();
}

SettingsRowButton *SettingsView::sidebarButton(Section section) const
{
    return m_sidebarButtons.value(int(section));
}

void SettingsView::select(Section section)
{
    if (m_page && section == m_selected)
        return;
    m_selected = section;
    // Only the selected page exists: another page's edits and messages go with it.
    if (m_page) {
        m_page->hide();
        m_detail->removeWidget(m_page);
        m_page->deleteLater();
    }
    m_page = createPage(section);
    m_detail->addWidget(m_page, 1);
    // Shown now, not on the layout's next turn: it is the page from this moment on.
    m_page->show();
    for (Section each : allSections)
        sidebarButton(each)->setSelected(each == section);
    m_title->setText(localized(titleKey(section), m_state.language()));
}

QWidget *SettingsView::createPage(Section section)
{
    QWidget *parent = m_scroll->widget();
    switch (section) {
    case Section::cuenta:
        return new AccountSection(m_state, parent);
    case Section::suscripcion:
        return new SubscriptionSection(m_state, parent);
    case Section::preferencias:
        return new PreferencesSection(m_state, parent);
    case Section::zona:
        return new DangerZoneSection(
            m_state, [this] { showDeleteSheet(); }, parent);
    case Section::acerca:
        break;
    }
    return new AboutSection(m_state, parent);
}

void SettingsView::showDeleteSheet()
{
    if (m_deleteOverlay)
        return;
    // A new sheet each time: it starts empty.
    m_deleteOverlay = new SheetOverlay([this] { closeDeleteSheet(); }, this);
    m_deleteOverlay->setContent(new DeleteAccountSheet(
        m_state, [this] { closeDeleteSheet(); }, m_deleteOverlay->contentParent()));
    m_deleteOverlay->setObjectName(QStringLiteral("deleteSheet"));
    // The window below is closed to input first, so that taking its focus away cannot move
    // the focus after the sheet has taken it.
    refreshModality();
    m_deleteOverlay->present();
}

void SettingsView::closeDeleteSheet()
{
    if (!m_deleteOverlay)
        return;
    SheetOverlay *overlay = m_deleteOverlay;
    m_deleteOverlay = nullptr;
    overlay->hide();
    overlay->deleteLater();
    refreshModality();
}

DeleteAccountSheet *SettingsView::deleteSheet() const
{
    return m_deleteOverlay ? qobject_cast<DeleteAccountSheet *>(m_deleteOverlay->content()) : nullptr;
}

void SettingsView::refreshBanner()
{
    const auto &banner = m_state.banner();
    m_banner->setVisible(banner.has_value());
    if (!banner)
        return;
    m_banner->setBanner(*banner);
}

void SettingsView::refreshUpgradeSheet()
{
    refreshModality();
    if (m_state.showingUpgrade()) {
        if (!m_upgradeOverlay->isVisible())
            m_upgradeOverlay->present();
    } else {
        m_upgradeOverlay->hide();
    }
}

void SettingsView::refreshModality()
{
    // What lies under a sheet takes no clicks or keys until the sheet goes.
    const bool sheet = m_deleteOverlay || m_state.showingUpgrade();
    m_body->setEnabled(!sheet);
    if (m_state.showingUpgrade())
        m_upgradeOverlay->raise();
}

void SettingsView::refreshIdentity()
{
    const auto &session = m_state.session();
    const bool known = session && session->user;
    m_email->setVisible(known);
    if (known) {
        const QString email = session->user->email;
        m_email->setText(m_email->fontMetrics().elidedText(email, Qt::ElideMiddle, sidebarWidth - 36));
        m_email->setToolTip(email);
    }
}

void SettingsView::retranslate()
{
    const QString language = m_state.language();
    m_sidebarTitle->setText(localized(OSTREL_KEY("settings.title"), language));
    for (Section section : allSections)
        sidebarButton(section)->setTitle(localized(titleKey(section), language));
    m_title->setText(localized(titleKey(m_selected), language));
    refreshIdentity();
}

void SettingsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

bool SettingsView::eventFilter(QObject *watched, QEvent *event)
{
    // Up and Down move through the sections, like a list.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const qsizetype index = m_sidebarButtons.indexOf(static_cast<SettingsRowButton *>(watched));
        if (index >= 0 && (key == Qt::Key_Up || key == Qt::Key_Down)) {
            const qsizetype next =
                std::clamp<qsizetype>(index + (key == Qt::Key_Down ? 1 : -1), 0, m_sidebarButtons.size() - 1);
            select(allSections[next]);
            m_sidebarButtons[next]->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ostrel
