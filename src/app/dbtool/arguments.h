#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the commands share in reading their arguments. A mistake in them is a UsageError: the tool prints it
// with a pointer to --help and exits with status 2.
namespace velmora::dbtool {

class UsageError {
public:
    explicit UsageError(QString message) : text(std::move(message)) {}
    QString text;
};

// The words `filter score` and `filter date` accept, as the window's filter tree names them.
const QStringList& scoreWords();
const QStringList& dateWindows();

// A path as given on the command line, made absolute and clean, with the library's separators.
QString absolutePath(const QString& path);
bool hasControlCharacter(const QString& text);

// The value after the option `name`, both taken out of args; nullopt when the option is absent.
std::optional<QString> takeOption(QStringList& args, const QString& name);
bool takeFlag(QStringList& args, const QString& name);
// Any "--" argument left after a command took its options is one it does not know.
void rejectOptions(const QStringList& args);
// --score N, N from 0 to 5.
std::optional<quint8> takeScore(QStringList& args);
// Tags end up as lines of the tag tree file, where a line break or a TAB would make other nodes.
std::optional<QString> takeTags(QStringList& args, const QString& name);
// Throws `what` unless exactly `count` arguments are left.
void expectCount(const QStringList& args, qsizetype count, const char* what);

} // namespace velmora::dbtool
