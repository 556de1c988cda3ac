#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

namespace velmora {

// The text files of the library are written in code page 936 (GBK) without a byte-order mark, every line ended
// by CR LF; reading honours a UTF-8 or UTF-16 byte-order mark. EncodeAnsi turns what GBK cannot hold into "?".
QByteArray EncodeAnsi(QStringView text);
// Text for a file: code page 936 when it holds every character, else UTF-8 with a byte-order mark, so that no
// character is lost (a Korean folder name, an emoji) while every file GBK can hold stays byte for byte as before.
QByteArray EncodeText(QStringView text);
QString DecodeAnsi(QByteArrayView bytes);
QString DecodeTextBytes(QByteArrayView bytes);

// Lines as a string list sees them: a break is CR, LF or CR LF, and a final break ends the last line rather
// than starting an empty one.
QStringList SplitLines(QStringView text);
QString JoinLines(const QStringList& lines);

QByteArray LinesToBytes(const QStringList& lines);
QByteArray TextToBytes(QStringView text);

void TextToStream(const QString& text, QIODevice& stream);
QString StreamToText(QIODevice& stream);

// Whole text files. A missing file reads as no lines; writing replaces the file atomically.
QStringList ReadTextFile(const QString& path);
void WriteTextFile(const QString& path, const QStringList& lines);

} // namespace velmora
