#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace velmora::test {

// The path of a document in the docs/ folder of the test's appdata folder.
QString DocPath(const QString& name);

// Writes a document there (folders made as needed), modified "now" by the program's clock, so that a fixed clock
// sees it written today; returns its path.
QString WriteDoc(const QString& name, const QByteArray& bytes = "x");

// A document of a library built for a test. Its name is its path under docs/.
struct LibraryDoc {
    QString name;
    QString tags = {};
    quint8 score = 0;
    quint16 reads = 0;
    double created = 0.0; // days since 1899-12-30; 0 keeps the import's own time
    QString password = {};
    bool onDisk = true; // written with WriteDoc; otherwise only the record names it
    bool deleted = false;
};

// Writes the library (worddata.idx and worddata.data) of docs, imported in order, and returns their positions.
QList<qint64> WriteLibrary(const QList<LibraryDoc>& docs);

} // namespace velmora::test
