#pragma once

#include <QLabel>

namespace ostrel {

// The "Pro"/"Free" capsule beside the identity; a label, so assistive technology reads it as text.
class PlanBadge : public QLabel {
    Q_OBJECT
public:
    explicit PlanBadge(QWidget *parent = nullptr);

    void set(const QString &text, bool pro);
    bool isPro() const { return m_pro; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_pro = false;
};

} // namespace ostrel
