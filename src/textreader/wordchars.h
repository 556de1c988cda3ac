#pragma once

#include <QChar>

namespace velmora::wordchars {

// The characters the office program's Range.Text uses for the marks of the main text.
inline constexpr QChar kParagraphEnd = u'\r';
inline constexpr QChar kCellEnd = u'\a';
inline constexpr QChar kTab = u'\t';
inline constexpr QChar kLineBreak = u'\v';
inline constexpr QChar kPageBreak = u'\f';
inline constexpr QChar kColumnBreak = QChar(0x0E);
inline constexpr QChar kNonBreakingHyphen = QChar(0x1E);
inline constexpr QChar kOptionalHyphen = QChar(0x1F);

} // namespace velmora::wordchars
