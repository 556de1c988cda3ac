#pragma once

#include <QString>

// How the tool words what it prints: English, one line per message, names shown as they are on disk.
namespace velmora::dbtool {

// A day count of the library as yyyy-MM-dd HH:mm:ss; the number itself when it is no date.
QString formatDays(double days);
// Bytes DecodeSystemName could not read as UTF-8: low surrogates with no high surrogate before them.
bool hasUndecodableByte(const QString& text);
// A name fit for a one-line message: control characters and undecodable bytes written as escapes.
QString shown(const QString& text);
// The errors of the library code are worded for the window, in Chinese; the tool is a scripting tool and
// speaks English. A message not known here is passed on as it is.
QString inEnglish(QString message);
QString systemReason(int error);

} // namespace velmora::dbtool
