#include "tiword.h"

#include "common/prompts.h"
#include "office/automation/automationerror.h"
#include "office/automation/dispatch.h"
#include "office/automation/oleserver.h"
#include "office/officetext.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <optional>

namespace velmora {

// Hears the office's Command(name, full name) calls. They come from a thread of the office's bridge while the
// office waits for the answer, so they are only passed on to the event loop: the handler may call the office.
class CommandSink final : public Dispatch, public std::enable_shared_from_this<CommandSink> {
public:
    void setHandler(OfficeCommandHandler handler) {
        const QMutexLocker lock(&m_mutex);
        m_handler = std::move(handler);
    }

    OleVariant getProperty(const QString& name, const OleArgs& index) override { return callMethod(name, index, {}); }
    void putProperty(const QString& name, const OleArgs&, const OleVariant&) override {
        throw AutomationError(QStringLiteral("%1 cannot be written").arg(name), AutomationFault::UnknownMember);
    }
    OleVariant callMethod(const QString& name, const OleArgs& args, const OleNamedArgs&) override {
        if (!MemberIs(name, QLatin1String("Command"))) {
            throw AutomationError(QStringLiteral("no member %1").arg(name), AutomationFault::UnknownMember);
        }
        const std::optional<OfficeCommand> command = args.isEmpty() ? std::nullopt : commandOf(args.at(0).toString());
        QCoreApplication* loop = QCoreApplication::instance();
        if (!command || loop == nullptr) {
            return OleVariant();
        }
        const QString document = args.size() > 1 ? args.at(1).toString() : QString();
        QMetaObject::invokeMethod(
            loop,
            [self = weak_from_this(), command, document] {
                OfficeCommandHandler handler;
                if (const std::shared_ptr<CommandSink> sink = self.lock()) {
                    const QMutexLocker lock(&sink->m_mutex);
                    handler = sink->m_handler;
                }
                if (handler) {
                    handler(*command, document);
                }
            },
            Qt::QueuedConnection);
        return OleVariant();
    }

private:
    static std::optional<OfficeCommand> commandOf(const QString& name) {
        static const std::pair<const char*, OfficeCommand> names[] = {
            {"Save", OfficeCommand::Save},       {"SaveAs", OfficeCommand::SaveAs},
            {"SaveAll", OfficeCommand::SaveAll}, {"Close", OfficeCommand::Close},
            {"Quit", OfficeCommand::Quit},       {"New", OfficeCommand::New},
            {"NextTab", OfficeCommand::NextTab}, {"PreviousTab", OfficeCommand::PreviousTab},
        };
        for (const auto& [text, command] : names) {
            if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
                return command;
            }
        }
        return std::nullopt;
    }

    QMutex m_mutex;
    OfficeCommandHandler m_handler;
};

namespace {

const QString kWordProgId = QStringLiteral("Word.Application");

// Word's SaveChanges values for Close.
constexpr int kSaveChanges = -1;
constexpr int kDoNotSaveChanges = 0;
constexpr int kPromptToSaveChanges = -2;
// EndKey: to the end of the whole story, without extending the selection.
constexpr int kStoryUnit = 6;
constexpr int kMove = 0;
constexpr int kWindowStateNormal = 0;
constexpr int kWindowStateMaximize = 1;

} // namespace

TiWord::TiWord(bool AlwaysCreate) {
    FVisible = false;
    FCreated = false;
    if (!AlwaysCreate) {
        CreateOrConnectWord();
        return;
    }
    // Import and search read documents in an office of their own, which must never become the one the window
    // shows the user's documents in.
    FWord = StartOfficeServer(kWordProgId, true);
    FCreated = true;
}

TiWord::~TiWord() {
    // Commands the office sends later reach nobody; those already on their way are dropped.
    if (m_commands) {
        m_commands->setHandler({});
    }
    Destroy();
}

void TiWord::Destroy() noexcept {
    try {
        if (!FWord.isObject()) {
            return;
        }
        if (FCreated || FWord.get(QStringLiteral("Documents")).get(QStringLiteral("Count")).toInt() == 0) {
            FWord.call(QStringLiteral("Quit"));
            FWord = OleVariant();
        }
    } catch (...) {
        // A Word that is gone or busy must not stop the program from closing.
    }
}

void TiWord::CreateOrConnectWord() {
    FWord = ConnectOrStartOfficeServer(kWordProgId, FCreated);
}

void TiWord::SetVisible(bool Value) {
    if (FWord.get(QStringLiteral("Visible")).toBool() != Value) {
        FWord.put(QStringLiteral("Visible"), Value);
        FVisible = Value;
    }
}

void TiWord::ShowWord(bool f) {
    FWord.put(QStringLiteral("Visible"), f);
}

void TiWord::SetWinPos(int t, int l, int h, int w) {
    // Going through the maximised state makes Word leave a minimised one before it is placed.
    FWord.put(QStringLiteral("WindowState"), kWindowStateMaximize);
    FWord.put(QStringLiteral("WindowState"), kWindowStateNormal);
    FWord.put(QStringLiteral("Top"), t);
    FWord.put(QStringLiteral("Left"), l);
    if (h > 0) {
        FWord.put(QStringLiteral("Height"), h);
    }
    if (w != 0) {
        FWord.put(QStringLiteral("Width"), w);
    }
}

void TiWord::CloseOpenSpellCheck(bool f) {
    FWord.get(QStringLiteral("Options")).put(QStringLiteral("CheckSpellingAsYouType"), f);
    FWord.get(QStringLiteral("Options")).put(QStringLiteral("CheckGrammarAsYouType"), f);
}

int TiWord::OpenedDocs() {
    return FWord.get(QStringLiteral("Documents")).get(QStringLiteral("Count")).toInt();
}

QString TiWord::ActiveDocName() {
    return FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("Name")).toString();
}

QString TiWord::ActiveDocFullName() {
    return FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("FullName")).toString();
}

OleVariant TiWord::DocumentAt(int i) {
    return FWord.get(QStringLiteral("Documents")).get(QStringLiteral("Item"), {i});
}

int TiWord::FindDoc(const QString& DocName, int n) {
    for (int i = 1; i <= n; ++i) {
        if (SameTextAscii(DocumentAt(i).get(QStringLiteral("FullName")).toString(), DocName)) {
            return i;
        }
    }
    return 0;
}

bool TiWord::DocIsOpen(const QString& DocName) {
    const int n = OpenedDocs();
    if (n == 0) {
        return false;
    }
    return FindDoc(DocName, n) != 0;
}

bool TiWord::DocIsOpened(const QString& docName) {
    return DocIsOpen(docName);
}

bool TiWord::DocChanged(const QString& docName) {
    const int i = FindDoc(docName, OpenedDocs());
    return i != 0 && !DocumentAt(i).get(QStringLiteral("Saved")).toBool();
}

bool TiWord::TheDocHasChanged(const QString& docName) {
    const int n = OpenedDocs();
    if (n == 0) {
        return false;
    }
    const int i = FindDoc(docName, n);
    return i != 0 && !DocumentAt(i).get(QStringLiteral("Saved")).toBool();
}

bool TiWord::ActiveDocChanged() {
    return !FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("Saved")).toBool();
}

bool TiWord::HaveDocChanged() {
    const int n = OpenedDocs();
    for (int i = 1; i <= n; ++i) {
        if (!DocumentAt(i).get(QStringLiteral("Saved")).toBool()) {
            return true;
        }
    }
    return false;
}

bool TiWord::HaveNewDoc() {
    const int n = OpenedDocs();
    for (int i = 1; i <= n; ++i) {
        if (!ContainsText(DocumentAt(i).get(QStringLiteral("Name")).toString(), QStringLiteral(".doc"))) {
            return true;
        }
    }
    return false;
}

QString TiWord::GetLastNewDocName() {
    QString result;
    if (OpenedDocs() == 0) {
        return result;
    }
    // New documents are named by a two-character word and a running number (文档1, 文档2, ...).
    int max = 0;
    const int n = OpenedDocs();
    for (int i = 1; i <= n; ++i) {
        const QString name = DocumentAt(i).get(QStringLiteral("Name")).toString();
        if (ContainsText(name, QStringLiteral(".doc"))) {
            continue;
        }
        bool ok = false;
        const int number = name.mid(2).toInt(&ok);
        if (ok && number > max) {
            max = number;
            result = name;
        }
    }
    return result;
}

void TiWord::SetDocChanged(const QString& docName, bool chg) {
    const int i = FindDoc(docName, OpenedDocs());
    if (i != 0) {
        DocumentAt(i).put(QStringLiteral("Saved"), chg);
    }
}

OleVariant TiWord::OpenWordFile(const QString& DocName, const QString& psw, bool rdOnly) {
    const OleVariant omitted = OleVariant::missing().byRef();
    return FWord.get(QStringLiteral("Documents"))
        .call(QStringLiteral("Open"), {OleVariant(DocName).byRef(), omitted, OleVariant(rdOnly).byRef(), omitted,
                                       OleVariant(psw).byRef(), omitted, omitted, omitted, omitted, omitted});
}

void TiWord::CreateNewDoc() {
    const OleVariant omitted = OleVariant::missing();
    FWord.get(QStringLiteral("Documents")).call(QStringLiteral("Add"), {omitted, omitted, omitted, omitted});
}

void TiWord::SaveCurrWord() {
    if (OpenedDocs() == 0 || FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("Saved")).toBool()) {
        return;
    }
    const QString name = ActiveDocName();
    if (AskYesNo(QStringLiteral("是否将更改保存到 %1 中？").arg(name))) {
        FWord.get(QStringLiteral("ActiveDocument")).call(QStringLiteral("Save"));
    }
    FWord.get(QStringLiteral("ActiveDocument")).put(QStringLiteral("Saved"), true);
}

void TiWord::SaveWordFileByName(const QString& DocName) {
    const int n = OpenedDocs();
    if (n == 0) {
        return;
    }
    const int i = FindDoc(DocName, n);
    if (i != 0) {
        DocumentAt(i).call(QStringLiteral("Save"));
    }
}

void TiWord::SaveAllFiles() {
    const int n = OpenedDocs();
    for (int i = 1; i <= n; ++i) {
        if (!DocumentAt(i).get(QStringLiteral("Saved")).toBool()) {
            DocumentAt(i).call(QStringLiteral("Save"));
        }
    }
}

void TiWord::SaveAs(const QString& DocName, const QString& psw) {
    const OleVariant omitted = OleVariant::missing().byRef();
    OleArgs args{OleVariant(DocName).byRef(), omitted, omitted, psw.isEmpty() ? omitted : OleVariant(psw).byRef()};
    while (args.size() < 16) {
        args.append(omitted);
    }
    FWord.get(QStringLiteral("ActiveDocument")).call(QStringLiteral("SaveAs"), args);
}

void TiWord::GiveupSave() {
    if (OpenedDocs() != 0) {
        FWord.get(QStringLiteral("ActiveDocument")).put(QStringLiteral("Saved"), true);
    }
}

void TiWord::CloseCurrDoc(int saveChanges) {
    const int n = OpenedDocs();
    if (n == 0) {
        return;
    }
    FWord.get(QStringLiteral("ActiveDocument")).call(QStringLiteral("Close"), {saveChanges});
    if (n == 1) {
        FVisible = false;
    }
}

void TiWord::CloseCurrDocAndSaveChanges() {
    CloseCurrDoc(kSaveChanges);
}

void TiWord::CloseCurrDocAndDoNotSaveChanges() {
    CloseCurrDoc(kDoNotSaveChanges);
}

void TiWord::CloseCurrDocAndPromptToSaveChanges() {
    CloseCurrDoc(kPromptToSaveChanges);
}

void TiWord::CloseWordFileByName(const QString& DocName) {
    const int n = OpenedDocs();
    if (n == 0) {
        return;
    }
    const int i = FindDoc(DocName, n);
    if (i != 0) {
        DocumentAt(i).call(QStringLiteral("Close"));
    }
    if (n == 1) {
        FVisible = false;
    }
}

void TiWord::CloseAllFiles() {
    const int n = OpenedDocs();
    if (n == 0) {
        return;
    }
    // From the last to the first, so that closing one does not move the index of those still to close.
    for (int i = n; i >= 1; --i) {
        DocumentAt(i).call(QStringLiteral("Close"));
    }
    FVisible = false;
}

bool TiWord::ActivateDoc(const QString& DocName) {
    const int i = FindDoc(DocName, OpenedDocs());
    if (i == 0) {
        return false;
    }
    DocumentAt(i).call(QStringLiteral("Activate"));
    return true;
}

quint64 TiWord::WindowOf(const QString& DocName) {
    const int i = FindDoc(DocName, OpenedDocs());
    if (i == 0) {
        return 0;
    }
    const double handle = DocumentAt(i).get(QStringLiteral("ActiveWindow")).get(QStringLiteral("Hwnd")).toDouble();
    return handle > 0 ? quint64(handle) : 0;
}

QString TiWord::CurrentFullNameOf(const QString& DocName, quint64 window) {
    const int n = OpenedDocs();
    if (window != 0) {
        for (int i = 1; i <= n; ++i) {
            const double handle =
                DocumentAt(i).get(QStringLiteral("ActiveWindow")).get(QStringLiteral("Hwnd")).toDouble();
            if (handle > 0 && quint64(handle) == window) {
                return DocumentAt(i).get(QStringLiteral("FullName")).toString();
            }
        }
    }
    for (int i = 1; i <= n; ++i) {
        const OleVariant document = DocumentAt(i);
        if (SameTextAscii(document.get(QStringLiteral("Name")).toString(), DocName)) {
            return document.get(QStringLiteral("FullName")).toString();
        }
    }
    return {};
}

void TiWord::SetCommandHandler(OfficeCommandHandler handler) {
    if (!m_commands) {
        m_commands = std::make_shared<CommandSink>();
    }
    m_commands->setHandler(std::move(handler));
}

bool TiWord::TakeOverCommands(const QString& DocName) {
    const int i = FindDoc(DocName, OpenedDocs());
    if (i == 0) {
        return false;
    }
    if (!m_commands) {
        m_commands = std::make_shared<CommandSink>();
    }
    DocumentAt(i).call(QStringLiteral("TakeOverCommands"), {OleVariant(std::shared_ptr<Dispatch>(m_commands))});
    return true;
}

void TiWord::GiveBackCommands(const QString& DocName) {
    const int i = FindDoc(DocName, OpenedDocs());
    if (i != 0) {
        DocumentAt(i).call(QStringLiteral("GiveBackCommands"));
    }
}

void TiWord::GoBack() {
    if (OpenedDocs() != 0) {
        FWord.call(QStringLiteral("GoBack"));
    }
}

void TiWord::MoveToEnd() {
    if (OpenedDocs() != 0) {
        FWord.get(QStringLiteral("Selection"))
            .call(QStringLiteral("EndKey"), {OleVariant(kStoryUnit).byRef(), OleVariant(kMove).byRef()});
    }
}

void TiWord::SelectAll(bool /*st*/) {
    if (OpenedDocs() != 0) {
        FWord.get(QStringLiteral("ActiveDocument"))
            .get(QStringLiteral("ActiveWindow"))
            .get(QStringLiteral("Selection"))
            .call(QStringLiteral("WholeStory"));
    }
}

void TiWord::SelCopy() {
    if (OpenedDocs() != 0) {
        FWord.get(QStringLiteral("Selection")).call(QStringLiteral("Copy"));
    }
}

void TiWord::CopyToClip() {
    if (OpenedDocs() == 0) {
        return;
    }
    const auto selection = [this] {
        return FWord.get(QStringLiteral("ActiveDocument"))
            .get(QStringLiteral("ActiveWindow"))
            .get(QStringLiteral("Selection"));
    };
    selection().call(QStringLiteral("WholeStory"));
    selection().call(QStringLiteral("Copy"));
}

} // namespace velmora
