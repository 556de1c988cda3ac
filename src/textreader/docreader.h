#pragma once

#include <QByteArrayView>
#include <QString>

namespace velmora::textreader {

// What the reader needs of the File Information Block at the start of the WordDocument stream.
struct Fib {
    quint16 nFib = 0;
    bool encrypted = false;
    bool tableOne = false; // the table stream is "1Table", else "0Table"
    quint32 ccpText = 0;   // characters of the main text, the first story of the text
    quint32 fcClx = 0;
    quint32 lcbClx = 0;
    quint32 fcPlcfBteChpx = 0;
    quint32 lcbPlcfBteChpx = 0;
    quint32 fcPlcfBtePapx = 0;
    quint32 lcbPlcfBtePapx = 0;
};

// Both raise ReadFailure on anything that does not add up; every length and offset is checked against the
// stream it points into. MainText stops at kMaxDocumentTextChars and then sets `cut`.
Fib ParseFib(QByteArrayView wordDocument);
QString MainText(const Fib& fib, QByteArrayView wordDocument, QByteArrayView table, bool* cut = nullptr);

} // namespace velmora::textreader
