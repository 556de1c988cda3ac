#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

bool IsCjkChar(QChar c);

// The text with each first-level GB2312 character replaced by the capital initial of its pinyin; every other
// character, second-level ones included, is kept. One output unit per input unit.
QString PinyinInitials(QStringView text);
// The character PinyinInitials puts in place of c: its capital initial, or c itself.
QChar PinyinInitialOf(QChar c);

void SortListByPinyin(QStringList& list, bool ascending, bool numeric);

} // namespace velmora
