#include "ui/tunnels/CreateTunnelView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolIcon.h"
#include "ui/tunnels/ProtocolPicker.h"
#include "validation/LoginValidator.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

namespace {
void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QLabel *secondaryLabel(int pixelSize, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(systemFont(pixelSize));
    label->setWordWrap(true);
    setTextColor(label, Palette::secondaryText(parent));
    return label;
}

QFont monospaced()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(13);
    return font;
}

QLineEdit *monospacedEdit(const QString &name)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

std::function<QString(const QString &)> keyText(const QString &key)
{
    return [key](const QString &language) { return localized(key, language); };
}
} // namespace

CreateTunnelView::CreateTunnelView(AppState &state, std::optional<Tunnel> editing, QWidget *parent)
    : QWidget(parent), m_state(state), m_editing(std::move(editing))
{
    setObjectName(QStringLiteral("screen.createTunnel"));
    if (m_editing && m_editing->protocolValue == QLatin1String("tcp"))
        m_protocol = TunnelProtocol::tcp;

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(4, 0, 4, 0);
    column->setSpacing(12);

    // Header.
    m_back = new QPushButton(this);
    m_back->setObjectName(QStringLiteral("back"));
    m_back->setFlat(true);
    m_back->setCursor(Qt::PointingHandCursor);
    m_back->setIcon(
        QIcon(symbolPixmap(QStringLiteral("chevron.left"), 12, Palette::brandBlue(), devicePixelRatioF())));
    setTextColor(m_back, Palette::brandBlue());
    connect(m_back, &QPushButton::clicked, this, &CreateTunnelView::requestClose);
    column->addWidget(m_back, 0, Qt::AlignLeft);
    auto *heading = new QVBoxLayout;
    heading->setSpacing(4);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("title"));
    m_title->setFont(systemFont(17, QFont::Bold));
    m_help = secondaryLabel(12, this);
    m_help->setObjectName(QStringLiteral("subtitle"));
    heading->addWidget(m_title);
    heading->addWidget(m_help);
    column->addLayout(heading);

    // The form's own banner.
    m_bannerView = new ErrorBanner(
        ErrorBanner::Severity::error, QString(), {}, {},
        [this] {
            m_banner.reset();
            refresh();
        },
        this);
    m_bannerView->setObjectName(QStringLiteral("banner"));
    column->addWidget(m_bannerView);

    // Protocol (pro users).
    m_protocolSection = new QWidget(this);
    m_protocolSection->setObjectName(QStringLiteral("protocolSection"));
    auto *protocol = new QVBoxLayout(m_protocolSection);
    protocol->setContentsMargins(0, 0, 0, 0);
    protocol->setSpacing(6);
    m_protocolCaption = secondaryLabel(11, m_protocolSection);
    m_picker = new ProtocolPicker(
        {OSTREL_KEY("tunnels.create.protocol.http"), OSTREL_KEY("tunnels.create.protocol.tcp")},
        m_protocolSection);
    m_picker->setObjectName(QStringLiteral("protocolPicker"));
    m_picker->setCurrentIndex(int(allTunnelProtocols().indexOf(m_protocol)));
    m_protocolHelp = secondaryLabel(11, m_protocolSection);
    m_protocolHelp->setObjectName(QStringLiteral("protocolHelp"));
    protocol->addWidget(m_protocolCaption);
    protocol->addWidget(m_picker);
    protocol->addWidget(m_protocolHelp);
    column->addWidget(m_protocolSection);
    connect(m_picker, &ProtocolPicker::currentIndexChanged, this, &CreateTunnelView::onProtocolPicked);

    // Subdomain (pro users, http): the name, then the public host and the live verdict.
    auto *suffix = new QWidget;
    auto *suffixRow = new QHBoxLayout(suffix);
    suffixRow->setContentsMargins(0, 0, 0, 0);
    suffixRow->setSpacing(4);
    m_hostSuffix = new QLabel(QStringLiteral(".") + m_state.publicHost(), suffix);
    m_hostSuffix->setObjectName(QStringLiteral("hostSuffix"));
    m_hostSuffix->setFont(monospaced());
    setTextColor(m_hostSuffix, Palette::secondaryText(this));
    m_indicator = new AvailabilityIndicator(suffix);
    suffixRow->addWidget(m_hostSuffix);
    suffixRow->addWidget(m_indicator);
    m_subdomainField = new FieldGroup(OSTREL_KEY("tunnels.create.proPrefixLabel"), QStringLiteral("my-app"),
                                      monospacedEdit(QStringLiteral("subdomainInput")), suffix, this);
    m_subdomainField->setObjectName(QStringLiteral("subdomainField"));
    m_subdomainField->content()->setFont(monospaced());
    column->addWidget(m_subdomainField);

    // Port (everyone).
    m_portField = new FieldGroup(OSTREL_KEY("tunnels.port"), OSTREL_KEY("tunnels.port.placeholder"),
                                 monospacedEdit(QStringLiteral("portInput")), nullptr, this);
    m_portField->setObjectName(QStringLiteral("portField"));
    m_portField->content()->setFont(monospaced());
    column->addWidget(m_portField);

    // Buttons.
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setFlat(true);
    m_cancel->setCursor(Qt::PointingHandCursor);
    setTextColor(m_cancel, Palette::secondaryText(this));
    connect(m_cancel, &QPushButton::clicked, this, &CreateTunnelView::requestClose);
    m_submit = new PrimaryButton(
        m_editing ? OSTREL_KEY("tunnels.edit.submit") : OSTREL_KEY("tunnels.create.submit"),
        [this] { submit(); }, this);
    m_submit->setObjectName(QStringLiteral("submit"));
    buttons->addWidget(m_cancel, 0, Qt::AlignVCenter);
    buttons->addWidget(m_submit, 1);
    column->addLayout(buttons);
    column->addStretch(1);

    // The initial values are not edits: an edited tunnel's subdomain is checked once changed.
    if (m_editing) {
        m_subdomainField->setText(m_editing->subdomain);
        m_portField->setText(QString::number(m_editing->localPort));
    }
    connect(m_subdomainField, &FieldGroup::textChanged, this, &CreateTunnelView::onSubdomainEdited);
    connect(m_portField, &FieldGroup::textChanged, this, &CreateTunnelView::onPortEdited);
    connect(m_subdomainField->content(), &QLineEdit::returnPressed, this, &CreateTunnelView::submit);
    connect(m_portField->content(), &QLineEdit::returnPressed, this, &CreateTunnelView::submit);
    connect(&m_state, &AppState::sessionChanged, this, &CreateTunnelView::refresh);

    retranslate();
}

bool CreateTunnelView::isProUser() const
{
    return m_state.isProUser();
}

bool CreateTunnelView::showsSubdomain() const
{
    return isProUser() && m_protocol == TunnelProtocol::http;
}

std::optional<QString> CreateTunnelView::localSubdomainError() const
{
    const QString subdomain = m_subdomainField->text();
    if (!showsSubdomain() || subdomain.isEmpty())
        return std::nullopt;
    return LoginValidator::validateSubdomain(subdomain, m_state.language());
}

std::optional<QString> CreateTunnelView::localPortError() const
{
    const QString port = m_portField->text();
    if (port.isEmpty())
        return std::nullopt;
    return LoginValidator::validatePort(port, m_state.language());
}

bool CreateTunnelView::canSubmit() const
{
    if (m_isLoading || m_portField->text().isEmpty() || localPortError())
        return false;
    if (m_protocol == TunnelProtocol::tcp || !isProUser())
        return true;
    if (m_subdomainField->text().isEmpty() || localSubdomainError())
        return false;
    return m_availability == Availability::idle || m_availability == Availability::available;
}

std::optional<QString> CreateTunnelView::bannerMessage() const
{
    if (!m_banner)
        return std::nullopt;
    return m_banner->message(m_state.language());
}

void CreateTunnelView::onSubdomainEdited(const QString &text)
{
    m_apiSubdomainError.reset();
    scheduleAvailabilityCheck(text);
    refresh();
}

void CreateTunnelView::onPortEdited()
{
    m_apiPortError.reset();
    refresh();
}

void CreateTunnelView::onProtocolPicked(int index)
{
    m_protocol = allTunnelProtocols().value(index, TunnelProtocol::http);
    refresh();
}

void CreateTunnelView::scheduleAvailabilityCheck(const QString &text)
{
    delete m_availabilityTask;
    const QString candidate = text.toLower().trimmed();
    if (candidate.isEmpty() || LoginValidator::validateSubdomain(candidate, m_state.language())) {
        m_availability = Availability::idle;
        return;
    }
    m_availability = Availability::checking;
    // Only the newest check may answer: a newer keystroke deletes this task, and with it the
    // wait and the request's answer, failures included.
    QObject *task = new QObject(this);
    m_availabilityTask = task;
    m_state.clock().singleShot(availabilityDebounce, task, [this, task, candidate] {
        m_state.apiClient().checkAvailability(candidate, task,
                                              [this, task](const ApiResult<AvailabilityCheck> &result) {
                                                  task->deleteLater();
                                                  if (result.ok()) {
                                                      applyAvailability(result.value());
                                                  } else {
                                                      m_availability = Availability::idle;
                                                      m_apiSubdomainError.reset();
                                                  }
                                                  refresh();
                                              });
    });
}

void CreateTunnelView::applyAvailability(const AvailabilityCheck &answer)
{
    if (answer.reason == QLatin1String("reserved")) {
        m_availability = Availability::reserved;
        m_apiSubdomainError = keyText(OSTREL_KEY("tunnels.subdomain.reserved"));
    } else if (answer.reason == QLatin1String("taken")) {
        m_availability = Availability::taken;
        m_apiSubdomainError = keyText(OSTREL_KEY("tunnels.subdomain.taken"));
    } else {
        m_availability = answer.available ? Availability::available : Availability::taken;
        m_apiSubdomainError.reset();
    }
}

void CreateTunnelView::submit()
{
    // The same rule as the button's, so Return cannot send what the button would not.
    if (!canSubmit())
        return;
    const std::optional<qint64> port = LoginValidator::parseInteger(m_portField->text());
    if (!port)
        return;
    m_apiSubdomainError.reset();
    m_apiPortError.reset();
    m_banner.reset();
    m_isLoading = true;
    refresh();

    const std::optional<QString> subdomain =
        showsSubdomain() ? std::optional<QString>(m_subdomainField->text()) : std::nullopt;
    const QString protocol = rawValue(m_protocol);
    const QString localHost = QStringLiteral("localhost");

    if (m_editing) {
        // A free user sends no protocol: the tunnel keeps the one the service has, so a tcp
        // tunnel of a former pro user is never turned into http behind their back.
        UpdateTunnelRequest request{subdomain, localHost, *port,
                                    isProUser() ? std::optional<QString>(protocol) : std::nullopt,
                                    std::nullopt};
        m_state.updateTunnel(*m_editing, request, this, [this](const std::optional<ApiFailure> &failure) {
            if (failure) {
                finishSubmit(failure);
                return;
            }
            m_state.refreshTunnels(this, [this](const std::optional<ApiFailure> &f) { finishSubmit(f); });
        });
        return;
    }

    const CreateTunnelRequest request{subdomain, localHost, *port, protocol, std::nullopt};
    // The answer is taken on AppState's behalf: a tunnel created after the editor was closed
    // still reaches the list.
    QPointer<CreateTunnelView> self(this);
    AppState *state = &m_state;
    const std::optional<QString> sentWith = m_state.apiClient().token();
    m_state.apiClient().createTunnel(
        request, state, [state, self, sentWith](const ApiResult<Tunnel> &result) {
            if (!self) {
                if (result.ok() && state->session() && state->session()->token == sentWith)
                    state->refreshTunnels();
                return;
            }
            if (!result.ok()) {
                self->finishSubmit(result.failure());
                return;
            }
            state->refreshTunnels(self,
                                  [self](const std::optional<ApiFailure> &f) { self->finishSubmit(f); });
        });
}

void CreateTunnelView::finishSubmit(const std::optional<ApiFailure> &failure)
{
    if (failure) {
        applyError(*failure);
        m_isLoading = false;
        refresh();
        return;
    }
    // The list may remove the editor while handling the request to close.
    QPointer<CreateTunnelView> self(this);
    emit closeRequested();
    if (self) {
        m_isLoading = false;
        refresh();
    }
}

void CreateTunnelView::applyError(const ApiFailure &failure)
{
    const ApiError *error = failure.apiError();
    if (!error) {
        const Text network = keyText(OSTREL_KEY("error.network"));
        m_apiPortError = network;
        m_banner = Banner{network};
        return;
    }
    const ApiError e = *error;
    const Text userMessage = [e](const QString &language) { return e.userMessage(language); };
    // A verdict about the subdomain goes under its field; while the field is hidden (tcp), the
    // banner carries it so it is not lost.
    const auto subdomainVerdict = [this](Text text) {
        if (showsSubdomain())
            m_apiSubdomainError = std::move(text);
        else
            m_banner = Banner{std::move(text)};
    };
    using K = ApiError::Kind;
    switch (e.kind()) {
    case K::freeTierLimit:
    case K::freeTierProtocolNotAllowed:
    case K::bandwidthLimitExceeded:
        m_upgradeReason = e.kind() == K::freeTierLimit                ? UpgradeReason::secondTunnel
                          : e.kind() == K::freeTierProtocolNotAllowed ? UpgradeReason::tcpTunnel
                                                                      : UpgradeReason::bandwidthLimit;
        m_banner = Banner{userMessage, true};
        break;
    case K::conflict: {
        const QString message = e.message.toLower();
        if (message.contains(QLatin1String("reserved")))
            subdomainVerdict(keyText(OSTREL_KEY("tunnels.subdomain.reserved")));
        else if (message.contains(QLatin1String("subdomain")))
            subdomainVerdict(keyText(OSTREL_KEY("tunnels.subdomain.taken")));
        else
            m_banner = Banner{userMessage};
        break;
    }
    case K::validation: {
        const QHash<ApiError::Field, QString> fields = e.fieldErrors(m_state.language());
        const auto entry = [e](ApiError::Field field) -> Text {
            return [e, field](const QString &language) { return e.fieldErrors(language).value(field); };
        };
        if (fields.contains(ApiError::Field::subdomain))
            subdomainVerdict(entry(ApiError::Field::subdomain));
        if (fields.contains(ApiError::Field::port))
            m_apiPortError = entry(ApiError::Field::port);
        if (fields.contains(ApiError::Field::generic))
            m_banner = Banner{entry(ApiError::Field::generic)};
        break;
    }
    default:
        m_banner = Banner{userMessage};
        break;
    }
}

void CreateTunnelView::upgrade()
{
    // The editor is gone once it has asked to be closed; the sheet opens a moment later.
    AppState *state = &m_state;
    const UpgradeReason reason = m_upgradeReason;
    emit closeRequested();
    state->clock().singleShot(upgradeDelay, state, [state, reason] { state->presentUpgrade(reason); });
}

void CreateTunnelView::requestClose()
{
    emit closeRequested();
}

void CreateTunnelView::refresh()
{
    const QString language = m_state.language();
    const bool pro = isProUser();
    m_protocolSection->setVisible(pro);
    m_picker->setCurrentIndex(int(allTunnelProtocols().indexOf(m_protocol)));
    m_protocolHelp->setText(localized(m_protocol == TunnelProtocol::tcp
                                          ? OSTREL_KEY("tunnels.create.protocol.tcpHelp")
                                          : OSTREL_KEY("tunnels.create.protocol.httpHelp"),
                                      language));

    m_subdomainField->setVisible(showsSubdomain());
    const std::optional<QString> subdomainError =
        m_apiSubdomainError ? std::optional<QString>((*m_apiSubdomainError)(language))
                            : localSubdomainError();
    m_subdomainField->setErrored(subdomainError.has_value());
    m_subdomainField->setSupportText(subdomainError);
    m_indicator->setState(m_availability);

    const std::optional<QString> portError =
        m_apiPortError ? std::optional<QString>((*m_apiPortError)(language)) : localPortError();
    m_portField->setErrored(portError.has_value());
    m_portField->setSupportText(portError);

    const bool appears = m_banner && m_bannerView->isHidden();
    m_bannerView->setVisible(m_banner.has_value());
    if (appears && isVisible())
        fadeIn(m_bannerView);
    if (m_banner) {
        m_bannerView->setMessage(m_banner->message(language));
        if (m_banner->upgradeAction)
            m_bannerView->setAction(localized(OSTREL_KEY("settings.upgrade.cta"), language),
                                    [this] { upgrade(); });
        else
            m_bannerView->setAction(QString(), {});
    }

    m_submit->setLoading(m_isLoading);
    m_submit->setEnabled(canSubmit());
}

void CreateTunnelView::fadeIn(QWidget *widget)
{
    auto *effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(0);
    widget->setGraphicsEffect(effect);
    auto *animation = new QPropertyAnimation(effect, "opacity", widget);
    animation->setDuration(bannerFadeMilliseconds);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    // Painting through an effect costs; it goes once the banner is fully there.
    connect(animation, &QPropertyAnimation::finished, widget,
            [widget] { widget->setGraphicsEffect(nullptr); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void CreateTunnelView::retranslate()
{
    const QString language = m_state.language();
    m_back->setText(localized(OSTREL_KEY("common.back"), language));
    m_back->setAccessibleName(m_back->text());
    m_title->setText(localized(
        m_editing ? OSTREL_KEY("tunnels.edit.title") : OSTREL_KEY("tunnels.create.title"), language));
    setAccessibleName(m_title->text());
    m_help->setText(LocalizableXCStrings::shared().format(OSTREL_KEY("tunnels.create.subdomainHelp %@"),
                                                          {m_state.publicHost()}, language));
    m_protocolCaption->setText(localized(OSTREL_KEY("tunnels.create.protocol.label"), language));
    m_picker->setAccessibleName(m_protocolCaption->text());
    m_subdomainField->setHintText(localized(OSTREL_KEY("tunnels.subdomain.hint"), language));
    m_cancel->setText(localized(OSTREL_KEY("common.cancel"), language));
    m_cancel->setAccessibleName(m_cancel->text());
    refresh();
}

bool CreateTunnelView::event(QEvent *event)
{
    // Escape closes the editor before anything around it (the popover) takes the key.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void CreateTunnelView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        requestClose();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CreateTunnelView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void CreateTunnelView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_focusPlaced)
        return;
    m_focusPlaced = true;
    (showsSubdomain() ? m_subdomainField : m_portField)->content()->setFocus(Qt::OtherFocusReason);
}

} // namespace ostrel
