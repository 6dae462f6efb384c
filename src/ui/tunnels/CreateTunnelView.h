#pragma once

#include "api/ApiResult.h"
#include "api/Models.h"
#include "state/UpgradeReason.h"
#include "ui/tunnels/AvailabilityIndicator.h"

#include <QPointer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace ostrel {

class AppState;
class ErrorBanner;
class FieldGroup;
class PrimaryButton;
class ProtocolPicker;

// The form that creates a tunnel (no `editing` tunnel) or edits one, shown by the tunnel list in
// place of its rows. It asks to be closed with closeRequested(); the list then removes it.
//
// Everyone sets the local port; pro users also choose the protocol and, for http, the subdomain,
// which is checked against the service while they type. Local checks show under their fields
// and keep the submit button disabled; the service's verdicts land under the field they concern
// or in the form's own banner (free-plan refusals with an upgrade action).
class CreateTunnelView : public QWidget {
    Q_OBJECT
public:
    using Availability = AvailabilityIndicator::State;
    // The availability check waits this long after the last change of the subdomain.
    static constexpr std::chrono::milliseconds availabilityDebounce{500};
    // The upgrade sheet opens this long after the editor asked to be closed.
    static constexpr std::chrono::milliseconds upgradeDelay{100};
    static constexpr int bannerFadeMilliseconds = 180;

    CreateTunnelView(AppState &state, std::optional<Tunnel> editing, QWidget *parent = nullptr);

    const std::optional<Tunnel> &editingTunnel() const { return m_editing; }

    TunnelProtocol protocolSelection() const { return m_protocol; }
    Availability availability() const { return m_availability; }
    bool isLoading() const { return m_isLoading; }
    bool canSubmit() const;
    // The banner's text and whether its action opens the upgrade sheet; none while hidden.
    std::optional<QString> bannerMessage() const;
    bool bannerHasUpgradeAction() const { return m_banner && m_banner->upgradeAction; }
    UpgradeReason upgradeReason() const { return m_upgradeReason; }

    // Sends the create or update request when the enable rule allows it.
    void submit();

signals:
    void closeRequested();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // A text in the in-app language, resolved each time it is shown, so a language change
    // re-reads service verdicts too.
    using Text = std::function<QString(const QString &language)>;
    struct Banner {
        Text message;
        bool upgradeAction = false;
    };

    bool isProUser() const;
    bool showsSubdomain() const;
    std::optional<QString> localSubdomainError() const;
    std::optional<QString> localPortError() const;

    void onSubdomainEdited(const QString &text);
    void onPortEdited();
    void onProtocolPicked(int index);
    void scheduleAvailabilityCheck(const QString &text);
    void applyAvailability(const AvailabilityCheck &answer);
    void finishSubmit(const std::optional<ApiFailure> &failure);
    void applyError(const ApiFailure &failure);
    void upgrade();
    void requestClose();
    void refresh();
    void fadeIn(QWidget *widget);
    void retranslate();

    AppState &m_state;
    std::optional<Tunnel> m_editing;
    TunnelProtocol m_protocol = TunnelProtocol::http;
    std::optional<Text> m_apiSubdomainError;
    std::optional<Text> m_apiPortError;
    std::optional<Banner> m_banner;
    UpgradeReason m_upgradeReason = UpgradeReason::manual;
    bool m_isLoading = false;
    bool m_focusPlaced = false;
    Availability m_availability = Availability::idle;
    // The pending availability check; deleting it drops its wait and its answer.
    QPointer<QObject> m_availabilityTask;

    QPushButton *m_back;
    QLabel *m_title;
    QLabel *m_help;
    ErrorBanner *m_bannerView;
    QWidget *m_protocolSection;
    QLabel *m_protocolCaption;
    ProtocolPicker *m_picker;
    QLabel *m_protocolHelp;
    FieldGroup *m_subdomainField;
    QLabel *m_hostSuffix;
    AvailabilityIndicator *m_indicator;
    FieldGroup *m_portField;
    QPushButton *m_cancel;
    PrimaryButton *m_submit;
};

} // namespace ostrel
