#include "textcodec.h"

#include "errors.h"
#include "readfile.h"
#include "savefile.h"

#include <QFile>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

namespace velmora {

namespace {

constexpr const char* kAnsiCodePage = "windows-936";

} // namespace

QByteArray EncodeAnsi(QStringView text) {
    QStringEncoder encoder(kAnsiCodePage);
    return encoder.encode(text);
}

QString DecodeAnsi(QByteArrayView bytes) {
    QStringDecoder decoder(kAnsiCodePage);
    return decoder.decode(bytes);
}

QString DecodeTextBytes(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.sliced(3));
    }
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder.decode(bytes.sliced(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(QStringDecoder::Utf16BE);
        return decoder.decode(bytes.sliced(2));
    }
    return DecodeAnsi(bytes);
}

QStringList SplitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start).toString());
            if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n') {
                ++i;
            }
            start = i + 1;
        }
        ++i;
    }
    if (start < size) {
        lines.append(text.mid(start).toString());
    }
    return lines;
}

QString JoinLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

QByteArray EncodeText(QStringView text) {
    QByteArray bytes = EncodeAnsi(text);
    // Pure ASCII is the same in both; otherwise only a round trip tells whether code page 936 kept everything.
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii || DecodeAnsi(bytes) == text) {
        return bytes;
    }
    const QByteArray utf8 = text.toUtf8();
    // A lone surrogate is lost either way; then the file stays as it always was.
    if (QString::fromUtf8(utf8) != text) {
        return bytes;
    }
    return QByteArray("\xEF\xBB\xBF") + utf8;
}

QByteArray LinesToBytes(const QStringList& lines) {
    return EncodeText(JoinLines(lines));
}

QByteArray TextToBytes(QStringView text) {
    return LinesToBytes(SplitLines(text));
}

void TextToStream(const QString& text, QIODevice& stream) {
    const QByteArray bytes = TextToBytes(text);
    if (stream.write(bytes) != bytes.size()) {
        throw VelmoraError(QStringLiteral("写入失败: %1").arg(stream.errorString()));
    }
}

QString StreamToText(QIODevice& stream) {
    stream.seek(0);
    return JoinLines(SplitLines(DecodeTextBytes(stream.readAll())));
}

QStringList ReadTextFile(const QString& path) {
    if (!QFile::exists(path)) {
        return {};
    }
    return SplitLines(DecodeTextBytes(ReadWholeFile(path)));
}

void WriteTextFile(const QString& path, const QStringList& lines) {
    WriteFileAtomically(path, LinesToBytes(lines));
}

} // namespace velmora
