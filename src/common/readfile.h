#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// What one data file (settings, lists, tree files) may hold. The largest real ones are a few hundred
// kilobytes; a file far beyond that is damaged or hostile, and reading it whole would stall start-up.
inline constexpr qint64 kMaxDataFileBytes = qint64(16) * 1024 * 1024;

// The whole content of a file of at most `limit` bytes. A file that cannot be opened or read to its end, is
// not a regular file (a FIFO, a device, a folder) or is larger than `limit` raises an error naming it and the
// reason: a short read must never pass for the file's content. Opening never blocks, and the size is the one of
// the file opened, so a file swapped for a link to a device or a FIFO between a check and the read changes
// nothing.
QByteArray ReadWholeFile(const QString& path, qint64 limit = kMaxDataFileBytes);

// A regular file opened for reading without blocking (a FIFO or a device is refused after opening, not waited
// on); -1 and `reason` when it cannot be had. `size` is the size of the file opened. The caller closes it.
int OpenRegularFile(const QString& path, qint64& size, QString& reason);

} // namespace velmora
