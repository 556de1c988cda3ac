#pragma once

#include "common/compressedtext.h"

#include <QByteArrayView>
#include <QString>

namespace velmora {

enum class TextReadStatus {
    Ok,
    // The file could not be opened or read from disk.
    Unreadable,
    // Not a .docx or Word 97-2003 file (RTF or HTML under a .doc name, another program's file, an empty file).
    NotWordFile,
    // Password-protected: only the office program, given the password, can read it.
    Encrypted,
    // A Word container whose parts contradict each other or are cut short.
    Damaged,
    // Larger than any note; refused rather than inflated or read into memory.
    TooLarge,
};

// The main text of a Word document as the office program's Range.Text gives it: every paragraph, and every
// paragraph of a table cell, followed by CR; line, page, column and section breaks as CR too; tabs, and
// non-breaking and optional hyphens as U+2011 and U+00AD; the result of each field without its code. Unlike the
// office program, which shows them, deleted revisions and note reference marks are left out; headers, footers,
// notes, comments, text boxes and pictures are not main text.
struct DocumentText {
    TextReadStatus status = TextReadStatus::Ok;
    QString text;
    // Why the text could not be read; empty when it was.
    QString reason;
    // Set when the text was read but cut at kMaxDocumentTextChars: what is kept, for the user to be told.
    QString note;

    bool ok() const { return status == TextReadStatus::Ok; }
    // The office program may still read what the built-in reader cannot: a protected document, or another format
    // it opens under a Word name.
    bool needsOfficeProgram() const {
        return status == TextReadStatus::Encrypted || status == TextReadStatus::NotWordFile;
    }
};

// Reads a .docx or .doc file, told apart by content rather than by name. Never throws; any input gives either
// the text or a status with its reason. Only a regular file is read (a FIFO or a device is Unreadable), and
// opening it never waits.
DocumentText ReadDocumentText(const QString& path);

// Whether the file on disk is a password-protected Word document: after an office failed part-way through a
// protected save, this tells whether the file already needs the password.
bool IsEncryptedOnDisk(const QString& path);

// The same on a file's bytes, and on each format alone.
DocumentText ReadDocumentBytes(QByteArrayView bytes);
DocumentText ReadDocxBytes(QByteArrayView bytes);
DocumentText ReadDocBytes(QByteArrayView bytes);

// The largest part, stream or file the reader takes in; a zip part that inflates beyond it is refused unread.
inline constexpr qint64 kMaxDocumentPartBytes = qint64(256) * 1024 * 1024;
// The most text read from one document, as much as its cache file keeps. A document with more is read up to
// here and its text given with a note: the start of a huge document is worth finding by.
inline constexpr qsizetype kMaxDocumentTextChars = kMaxCachedTextChars;
// How deep a .docx may nest its elements. Word nests a few levels (tables in tables, content controls); the
// bound keeps the XML reader's own record of open elements small.
inline constexpr int kMaxDocumentDepth = 500000;
// The note of a text cut at kMaxDocumentTextChars.
QString TextCutNote();

} // namespace velmora
