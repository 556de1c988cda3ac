#pragma once

#include <QString>

namespace velmora {

// Paths, tags and keywords are "equal ignoring case" when they match with the letters a to z taken as A to Z;
// every other character must match exactly.
QString FoldAsciiCase(QStringView text);
bool SameIgnoringAsciiCase(QStringView a, QStringView b);

} // namespace velmora
