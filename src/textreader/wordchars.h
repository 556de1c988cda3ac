#pragma once

#include <QChar>

namespace velmora::wordchars {

// The characters of the main text as the office program's Range.Text gives them. Its paragraphs end with CR;
// line, page, column and section breaks all start a new line the same way, and a table's cells read as the
// paragraphs they hold, with no mark for the end of a cell or a row.
inline constexpr QChar kParagraphEnd = u'\r';
inline constexpr QChar kTab = u'\t';
inline constexpr QChar kLineBreak = u'\r';
inline constexpr QChar kPageBreak = u'\r';
inline constexpr QChar kColumnBreak = u'\r';
inline constexpr QChar kSectionEnd = u'\r';
inline constexpr QChar kNonBreakingHyphen = QChar(0x2011);
inline constexpr QChar kOptionalHyphen = QChar(0x00AD);

} // namespace velmora::wordchars
