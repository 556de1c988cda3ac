#pragma once

#include "office/automation/olevariant.h"

#include <QString>

namespace velmora {

// What the Word and Excel wrappers share.

// The one message for an office program that cannot be started or reached at construction.
inline constexpr char16_t kNoOfficeMessage[] = u"您的电脑上没哦安装Office";

// Starts a new server of progId, one of the caller's own when privateServer is set. Any failure becomes the one
// message above, as an AutomationError.
OleVariant StartOfficeServer(const QString& progId, bool privateServer = false);

// The running server of progId when one is registered (created is then false), or a new one (created true).
OleVariant ConnectOrStartOfficeServer(const QString& progId, bool& created);

// Full paths of open documents match when they differ only in the case of ASCII letters; every other
// character must be equal.
bool SameTextAscii(const QString& a, const QString& b);

// Whether text contains part, ignoring letter case. Empty part is never contained: a rule built on an empty
// search text must change nothing.
bool ContainsText(const QString& text, const QString& part);

// The file name of a path: the text after its last delimiter.
QString FileNameOf(const QString& path);

// Lets pending window events run, which the quiet operations do so that the window stays responsive between
// automation calls.
void ProcessPendingMessages();

} // namespace velmora
