#pragma once

#include <QString>

namespace velmora::lo {

// Whether a Word file on disk is password-encrypted: an encrypted .docx is a compound file holding an
// "EncryptedPackage" stream; an encrypted .doc has the encryption flag in the header of its WordDocument stream.
// A plain .docx (a zip) or any unreadable file is not.
bool IsEncryptedWordFile(const QString& path);

} // namespace velmora::lo
