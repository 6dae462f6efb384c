#pragma once

#include <QUrl>

namespace ostrel {

// Opens a URL with the desktop's default handler (browser, mail client).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Whether the system accepted the URL.
    virtual bool open(const QUrl &url) = 0;
};

} // namespace ostrel
