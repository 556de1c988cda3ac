#pragma once

#include <QString>

namespace velmora {

// The text cache format: the text as CR LF lines in GBK, compressed as one zlib stream at level 1.
QByteArray CompressText(const QString& text);
QString DecompressText(QByteArrayView compressed, const QString& name = {});

void SaveCompressedText(const QString& text, const QString& fileName);
QString LoadCompressedText(const QString& fileName);

} // namespace velmora
