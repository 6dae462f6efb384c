#pragma once

#include "platform/UrlOpener.h"

#include <QList>

namespace ostrel {

// Records every URL it is asked to open; answers with `accept`.
class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override
    {
        opened.append(url);
        return accept;
    }

    QList<QUrl> opened;
    bool accept = true;
};

} // namespace ostrel
