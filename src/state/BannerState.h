#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace ostrel {

// The one banner the popover shows above its content. Texts are already localised.
struct BannerState {
    enum class Severity { error, warning, info };

    Severity severity = Severity::info;
    QString message;
    std::optional<QString> hint;
    std::optional<QString> actionTitle;
    std::function<void()> action; // run when the banner's button is pressed

    // The action is not compared: two banners showing the same texts are the same banner.
    friend bool operator==(const BannerState &a, const BannerState &b)
    {
        return a.severity == b.severity && a.message == b.message && a.hint == b.hint &&
               a.actionTitle == b.actionTitle;
    }
};

} // namespace ostrel
