#pragma once

#include <QString>

namespace ostrel {

// "Linux 6.1.0" for the running kernel.
QString systemVersion();
// "Linux " + major.minor.patch of a kernel release such as "6.1.0-21-amd64" or "5.15"; missing
// numbers read as 0.
QString systemVersionFromRelease(const QString &release);

// The processor architecture this build targets: "x86_64" or "arm64".
QString buildArchitecture();
// The name used for a compiler's processor name ("aarch64" is "arm64", "amd64" is "x86_64").
QString architectureName(const QString &processor);

} // namespace ostrel
