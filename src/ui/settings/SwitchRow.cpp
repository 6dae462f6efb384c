#include "ui/settings/SwitchRow.h"

#include "ui/controls/Palette.h"
#include "ui/settings/SettingsStyle.h"
#include "ui/settings/ToggleSwitch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

SwitchRow::SwitchRow(const QString &symbol, QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(settingsstyle::symbol(this, symbol, 13, Palette::secondaryText(this), 18), 0,
                   Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = settingsstyle::label(this, 13, QFont::Medium, Palette::primaryText(this));
    m_title->setObjectName(QStringLiteral("rowTitle"));
    m_subtitle = settingsstyle::label(this, 11, QFont::Normal, Palette::secondaryText(this), true);
    m_subtitle->setObjectName(QStringLiteral("rowSubtitle"));
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    row->addLayout(texts, 1);
    m_switch = new ToggleSwitch(this);
    row->addWidget(m_switch, 0, Qt::AlignVCenter);
}

void SwitchRow::setTexts(const QString &title, const QString &subtitle)
{
    m_title->setText(title);
    m_subtitle->setText(subtitle);
    m_switch->setAccessibleName(title);
    m_switch->setAccessibleDescription(subtitle);
}

QString SwitchRow::title() const
{
    return m_title->text();
}

QString SwitchRow::subtitle() const
{
    return m_subtitle->text();
}

} // namespace ostrel
