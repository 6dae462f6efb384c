// A second start of the application in miniature: claims the instance in the given folder
// and prints its role. Used by the single-instance test.
#include "platform/SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    ostrel::SingleInstance instance(QStringLiteral("ostrel"), args.at(1));
    const auto role = instance.claim(args.size() > 2 ? args.at(2) : QString());
    const char *text = role == ostrel::SingleInstance::Role::primary     ? "primary"
                       : role == ostrel::SingleInstance::Role::secondary ? "secondary"
                                                                         : "failed";
    std::printf("%s\n", text);
    return 0;
}
