#pragma once

#include <QString>

#include <functional>

namespace velmora {

// Opens a file or web address with the program the desktop associates with it. Tests replace the opener so
// that nothing is started.
void OpenWithShell(const QString& pathOrUrl);
void SetShellOpener(std::function<void(const QString&)> opener);

} // namespace velmora
