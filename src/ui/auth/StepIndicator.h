#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QVariantAnimation;

namespace ostrel {

// Where the onboarding is: one capsule per step (the current one wide) and the caption
// "Step n of m".
class StepIndicator : public QWidget {
    Q_OBJECT
public:
    static constexpr int currentWidth = 18;
    static constexpr int otherWidth = 6;
    static constexpr int animationMilliseconds = 200;

    StepIndicator(int count, std::function<QString()> language, QWidget *parent = nullptr);

    int current() const { return m_current; }
    void setCurrent(int step); // 1-based
    QString captionText() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    class Capsules;
    int m_count;
    int m_current = 1;
    std::function<QString()> m_language;
    Capsules *m_capsules;
    QLabel *m_caption;
};

} // namespace ostrel
