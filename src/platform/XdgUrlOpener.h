#pragma once

#include "platform/UrlOpener.h"

#include <QString>

namespace ostrel {

// Opens web and mail links with the desktop's default handler (xdg-open, started detached).
// Other schemes are refused: a link from the service must never start an arbitrary handler.
class XdgUrlOpener final : public UrlOpener {
public:
    // program: the opener to start with the URL as its only argument (tests use their own).
    explicit XdgUrlOpener(QString program = QStringLiteral("xdg-open"));
    bool open(const QUrl &url) override;

    static bool isAllowed(const QUrl &url);

private:
    QString m_program;
};

} // namespace ostrel
