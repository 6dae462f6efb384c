#pragma once

#include "api/Models.h"

#include <QColor>
#include <QWidget>

#include <optional>

class QLabel;

namespace ostrel {

class AppState;

// The month's bandwidth in a small card: a headline, for the free plan the percentage and a bar
// tinted by how close the account is to its limit, then the amount used against the limit and
// the day the count starts again. The tunnel list hands it each new usage record.
class UsageView : public QWidget {
    Q_OBJECT
public:
    explicit UsageView(AppState &state, QWidget *parent = nullptr);

    void setUsage(const Usage &usage);
    const std::optional<Usage> &usage() const { return m_usage; }

    // The free plan is any tier that is not exactly "pro".
    static bool isFreePlan(const Usage &usage);
    // errorRed from 95 %, warningAmber from 80 %, brandBlue below.
    static QColor usageTint(qint64 percentUsed);
    // used / limit, clamped to 0..1; 0 when the limit is below 1 byte.
    static double fillFraction(const UsageBandwidth &bandwidth);
    // "1.50 GB", "512 MB", "100 KB" (binary units, a point as decimal separator).
    static QString formatGigabytes(qint64 usedBytes);
    // "1.50 GB / 5 GB", or "… / ∞" on the paid plan.
    static QString usageSummaryText(const Usage &usage);
    // "Resets on 1 Jan" in the in-app language.
    static QString resetDateText(const QDateTime &periodEnd, const QString &language);

    QString headlineText() const;
    QString percentText() const;
    QString summaryText() const;
    QString resetText() const;
    bool showsBar() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    class Bar;
    void refresh();

    AppState &m_state;
    std::optional<Usage> m_usage;
    QLabel *m_headline;
    QLabel *m_percent;
    Bar *m_bar;
    QLabel *m_summary;
    QLabel *m_reset;
};

} // namespace ostrel
