#pragma once

#include <QByteArray>

namespace velmora::bench {

// A .docx as Word writes a typed note: styles, settings and a body of paragraphs of formatted runs, about 20
// paragraphs (one page) per page asked for. Chinese notes use CJK text, others Latin. `seed` varies the words.
QByteArray MakeNoteDocx(int pages, bool chinese, int seed);

} // namespace velmora::bench
