#pragma once

#include <QDate>
#include <QString>

namespace velmora {

// Copies the program's own small files (.txt, .ini, .dat, .xls) of the data folder into
// databackup/yyyyMMdd/, replacing the copies made earlier the same day. Library records and documents are not
// copied: the store keeps its own dated copies.
void BackupSmallFiles(const QString& dataFolder, const QDate& day);

} // namespace velmora
