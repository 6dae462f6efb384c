#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace ostrel {

// One row of the welcome step: a symbol beside a title and a secondary line (text keys).
class FeatureBullet : public QWidget {
    Q_OBJECT
public:
    FeatureBullet(QString icon, QString titleKey, QString subtitleKey, std::function<QString()> language,
                  QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QString m_titleKey;
    QString m_subtitleKey;
    std::function<QString()> m_language;
    QLabel *m_title;
    QLabel *m_subtitle;
};

} // namespace ostrel
