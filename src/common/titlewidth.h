#pragma once

#include <QString>

namespace velmora {

// Tab captions are measured in the width of a Chinese character: other characters count as half of one.
int DisplayWidth(const QString& text);
QString ShortenTitle(const QString& text);

} // namespace velmora
