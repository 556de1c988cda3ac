#pragma once

#include "documenttext.h"

class QIODevice;

namespace velmora::textreader {

// Thrown inside the readers only and turned into a DocumentText at their entry points, so that each check of a
// length or offset is one line.
struct ReadFailure {
    TextReadStatus status;
    QString reason;
};

[[noreturn]] inline void Fail(TextReadStatus status, const QString& reason) {
    throw ReadFailure{status, reason};
}

[[noreturn]] inline void Damaged(const QString& reason) {
    Fail(TextReadStatus::Damaged, reason);
}

// The .docx reader on a seekable device, so that a file is read only where its zip directory points.
DocumentText ReadDocxDevice(QIODevice& device);

} // namespace velmora::textreader
