#include "tiword.h"

#include "common/datetime.h"
#include "common/fileinfo.h"
#include "office/automation/automationerror.h"
#include "office/clipboard.h"
#include "office/officetext.h"

#include <QFileInfo>

#include <array>
#include <cmath>

namespace velmora {

namespace {

constexpr int kFormatRtf = 6;
constexpr int kFormatHtml = 8;
constexpr int kReplaceAll = 2;
constexpr int kLineSpaceExactly = 4;
constexpr int kNumberOfPagesInDocument = 4;
constexpr int kPageFitFullPage = 1;
constexpr int kSortByName = 0;
constexpr int kTitleLength = 20;
// A document saved by the user a moment ago still counts as the one just saved as.
constexpr qint64 kSaveAsWindowMinutes = 5;

// The collections counted by GetDocProp, by index.
constexpr std::array<const char*, 20> kDocCollections = {"Bookmarks",
                                                         "Characters",
                                                         "Comments",
                                                         "Endnotes",
                                                         "Fields",
                                                         "Footnotes",
                                                         "Hyperlinks",
                                                         "Indexes",
                                                         "ListParagraphs",
                                                         "ListTemplates",
                                                         "Paragraphs",
                                                         "Sections",
                                                         "Sentences",
                                                         "Shapes",
                                                         "Styles",
                                                         "Tables",
                                                         "TablesOfAuthorities",
                                                         "TablesOfAuthoritiesCategories",
                                                         "TablesOfContents",
                                                         "TablesOfFigures"};

// A float argument of exactly -1 asks for the preset value of its step.
bool isPreset(float value) {
    return value == -1.0f;
}

} // namespace

template <typename Body>
void TiWord::WithoutScreenUpdating(Body body) {
    FWord.put(QStringLiteral("ScreenUpdating"), false);
    try {
        body();
    } catch (...) {
        // Word left without screen updating looks frozen to the user; the error of the body is the one to report.
        try {
            FWord.put(QStringLiteral("ScreenUpdating"), true);
        } catch (...) {
        }
        throw;
    }
    FWord.put(QStringLiteral("ScreenUpdating"), true);
}

QString TiWord::GetDocText() {
    if (OpenedDocs() == 0) {
        return QString();
    }
    return FWord.get(QStringLiteral("ActiveDocument"))
        .get(QStringLiteral("Range"))
        .get(QStringLiteral("Text"))
        .toString();
}

QString TiWord::GetDocTextByName(const QString& docName) {
    const int n = OpenedDocs();
    if (n == 0) {
        return QString();
    }
    const int i = FindDoc(docName, n);
    if (i == 0) {
        return QString();
    }
    return DocumentAt(i).get(QStringLiteral("Range")).get(QStringLiteral("Text")).toString();
}

QString TiWord::SelectionText() {
    return FWord.get(QStringLiteral("Selection")).get(QStringLiteral("Text")).toString();
}

QString TiWord::GetTitle() {
    QString title =
        FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("Range")).get(QStringLiteral("Text")).toString();
    const qsizetype cr = title.indexOf(QLatin1Char('\r'));
    if (cr >= 0) {
        title.truncate(cr);
    }
    if (title.size() > kTitleLength) {
        // The title becomes a proposed file name: half a surrogate pair would not survive as one.
        const bool splitsPair = title.at(kTitleLength - 1).isHighSurrogate();
        title.truncate(splitsPair ? kTitleLength - 1 : kTitleLength);
    }
    CopyToClipboard(title);
    return title;
}

int TiWord::GetDocProp(int idx) {
    if (idx < 0 || idx >= int(kDocCollections.size())) {
        return -1;
    }
    return FWord.get(QStringLiteral("ActiveDocument"))
        .get(QLatin1String(kDocCollections[size_t(idx)]))
        .get(QStringLiteral("Count"))
        .toInt();
}

int TiWord::GetDocPages() {
    return FWord.get(QStringLiteral("Selection"))
        .get(QStringLiteral("Information"), {kNumberOfPagesInDocument})
        .toInt();
}

QString TiWord::GetDocPropStr(int idx) {
    if (idx < 0 || idx > 2 || OpenedDocs() == 0) {
        return QString();
    }
    const OleVariant document = FWord.get(QStringLiteral("ActiveDocument"));
    switch (idx) {
    case 0:
        return document.get(QStringLiteral("AttachedTemplate")).get(QStringLiteral("FullName")).toString();
    case 1:
        return document.get(QStringLiteral("CodeName")).toString();
    case 2:
        return document.get(QStringLiteral("FullName")).toString();
    default:
        return QString();
    }
}

bool TiWord::GetDocPropBool(int idx) {
    static const std::array<QString, 3> properties = {QStringLiteral("HasPassword"), QStringLiteral("ReadOnly"),
                                                      QStringLiteral("Saved")};
    if (idx < 0 || idx >= int(properties.size())) {
        return false;
    }
    return FWord.get(QStringLiteral("ActiveDocument")).get(properties[size_t(idx)]).toBool();
}

QString TiWord::GetBuiltInDocumentProperty(int idx) {
    return FWord.get(QStringLiteral("ActiveDocument"))
        .get(QStringLiteral("BuiltInDocumentProperties"), {idx})
        .toString();
}

QString TiWord::GetABuiltInProp(int prop, const QString& docName) {
    const int n = OpenedDocs();
    if (n == 0) {
        return QString();
    }
    const int i = FindDoc(docName, n);
    if (i == 0) {
        return QString();
    }
    DocumentAt(i).get(QStringLiteral("BuiltInDocumentProperties"));
    return DocumentAt(i)
        .get(QStringLiteral("BuiltInDocumentProperties"), {prop})
        .get(QStringLiteral("Value"))
        .toString();
}

QString TiWord::ListDocsName(bool stName) {
    QString list;
    const int n = OpenedDocs();
    for (int i = 1; i <= n; ++i) {
        const QString name = DocumentAt(i).get(QStringLiteral("FullName")).toString();
        list += (stName ? FileNameOf(name) : name) + QStringLiteral("\r\n");
    }
    return list;
}

QString TiWord::GetSaveAsDocName(const QString& fnList) {
    const int n = OpenedDocs();
    for (int i = 1; i <= n; ++i) {
        const QString name = DocumentAt(i).get(QStringLiteral("FullName")).toString();
        if (ContainsText(fnList, name)) {
            continue;
        }
        const std::optional<double> created = GetFileDate(name, FileDateKind::Created);
        if (!created) {
            continue;
        }
        const qint64 ms = std::llround(std::fabs(NowAsDays() - *created) * 86400000.0);
        if (ms / 60000 <= kSaveAsWindowMinutes) {
            return name;
        }
    }
    return QString();
}

void TiWord::SetDocPara(const QString& ftName, bool all, float ftSize, float spAfter, float spLine, float fstLnInd,
                        float charInd, float lnAfter) {
    const auto selection = [this] { return FWord.get(QStringLiteral("Selection")); };
    const auto font = [&] { return selection().get(QStringLiteral("Font")); };
    const auto paragraph = [&] { return selection().get(QStringLiteral("ParagraphFormat")); };

    if (all) {
        selection().call(QStringLiteral("WholeStory"));
    }
    font().put(QStringLiteral("Name"), ftName.isEmpty() ? QStringLiteral("微软雅黑") : ftName);
    paragraph().put(QStringLiteral("SpaceBeforeAuto"), false);
    font().put(QStringLiteral("Size"), ftSize);
    paragraph().put(QStringLiteral("SpaceAfter"), isPreset(spAfter) ? OleVariant::currency(2.5) : OleVariant(spAfter));
    paragraph().put(QStringLiteral("SpaceAfterAuto"), false);
    paragraph().put(QStringLiteral("LineSpacingRule"), kLineSpaceExactly);
    paragraph().put(QStringLiteral("LineSpacing"), isPreset(spLine) ? OleVariant(16) : OleVariant(spLine));
    paragraph().put(QStringLiteral("FirstLineIndent"),
                    isPreset(fstLnInd) ? OleVariant::currency(0.35) : OleVariant(fstLnInd));
    paragraph().put(QStringLiteral("CharacterUnitFirstLineIndent"),
                    isPreset(charInd) ? OleVariant(2) : OleVariant(charInd));
    paragraph().put(QStringLiteral("LineUnitAfter"),
                    isPreset(lnAfter) ? OleVariant::currency(0.5) : OleVariant(lnAfter));
    paragraph().put(QStringLiteral("WordWrap"), true);
}

void TiWord::SetAlignment(int wdAl) {
    if (OpenedDocs() == 0) {
        return;
    }
    // Word's alignment 6 is not one the program offers, so the choices from 6 on are shifted by one.
    static constexpr std::array<int, 9> alignments = {0, 1, 2, 3, 4, 5, 7, 8, 9};
    const int alignment = (wdAl >= 0 && wdAl < int(alignments.size())) ? alignments[size_t(wdAl)] : 0;
    try {
        FWord.get(QStringLiteral("Selection"))
            .get(QStringLiteral("ParagraphFormat"))
            .put(QStringLiteral("Alignment"), OleVariant(alignment).byRef());
    } catch (const std::exception&) {
        // Formatting that Word refuses for the current selection is left as it is.
    }
    ProcessPendingMessages();
}

void TiWord::SetFont(const QString& FontName, int FontSize, bool Bold, bool Italic) {
    if (OpenedDocs() == 0) {
        return;
    }
    try {
        const auto font = [this] { return FWord.get(QStringLiteral("Selection")).get(QStringLiteral("Font")); };
        font().put(QStringLiteral("Name"), FontName);
        font().put(QStringLiteral("Size"), FontSize);
        font().put(QStringLiteral("Bold"), Bold);
        font().put(QStringLiteral("Italic"), Italic);
    } catch (const std::exception&) {
        // Formatting that Word refuses for the current selection is left as it is.
    }
    ProcessPendingMessages();
}

void TiWord::AddReturn() {
    // Word refuses an insertion now and then while it is busy; a failure that persists is a real one.
    for (int attempt = 1;; ++attempt) {
        try {
            FWord.get(QStringLiteral("Selection")).call(QStringLiteral("TypeParagraph"));
            return;
        } catch (const AutomationError&) {
            if (attempt >= kAddReturnAttempts) {
                throw;
            }
        }
    }
}

void TiWord::ViewFullPage() {
    FWord.get(QStringLiteral("ActiveWindow"))
        .get(QStringLiteral("ActivePane"))
        .get(QStringLiteral("View"))
        .get(QStringLiteral("Zoom"))
        .put(QStringLiteral("PageFit"), kPageFitFullPage);
}

void TiWord::FindText(const QString& s, bool /*down*/) {
    FWord.get(QStringLiteral("Selection")).get(QStringLiteral("Find")).put(QStringLiteral("Text"), s);
    FWord.get(QStringLiteral("Selection")).get(QStringLiteral("Find")).call(QStringLiteral("Execute"));
}

void TiWord::ReplaceAll(const QString& s1, const QString& s2) {
    WithoutScreenUpdating([&] {
        const auto find = [this] { return FWord.get(QStringLiteral("Selection")).get(QStringLiteral("Find")); };
        find().call(QStringLiteral("ClearFormatting"));
        find().get(QStringLiteral("Replacement")).call(QStringLiteral("ClearFormatting"));
        find().put(QStringLiteral("Text"), s1);
        find().get(QStringLiteral("Replacement")).put(QStringLiteral("Text"), s2);
        find().call(QStringLiteral("Execute"), {}, {{QStringLiteral("Replace"), kReplaceAll}});
    });
}

void TiWord::ReplaceAllLinks(const QString& s1, const QString& s2) {
    WithoutScreenUpdating([&] {
        const auto hyperlinks = [this] {
            return FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("Hyperlinks"));
        };
        const int n = hyperlinks().get(QStringLiteral("Count")).toInt();
        for (int i = 1; i <= n; ++i) {
            const QString address =
                hyperlinks().get(QStringLiteral("item"), {i}).get(QStringLiteral("Address")).toString();
            if (!ContainsText(address, s1)) {
                continue;
            }
            // Found ignoring case but replaced matching case: an address that holds s1 only in another case is
            // written back as it was.
            QString changed = address;
            const qsizetype at = changed.indexOf(s1, 0, Qt::CaseSensitive);
            if (at >= 0) {
                changed.replace(at, s1.size(), s2);
            }
            hyperlinks().get(QStringLiteral("item"), {i}).put(QStringLiteral("Address"), changed);
        }
    });
}

void TiWord::SaveDocToRTF(const QString& fn) {
    if (OpenedDocs() == 0) {
        return;
    }
    const OleVariant no = OleVariant(false).byRef();
    const OleVariant none = OleVariant(QString()).byRef();
    FWord.get(QStringLiteral("ActiveDocument"))
        .call(QStringLiteral("SaveAs"),
              {OleVariant(fn).byRef(), OleVariant(kFormatRtf).byRef(), no, none, no, none, no, no, no, no, no});
}

bool TiWord::SaveDocToHtml(const QString& fn) {
    try {
        if (OpenedDocs() != 0) {
            FWord.get(QStringLiteral("ActiveDocument"))
                .call(QStringLiteral("SaveAs"),
                      {fn, kFormatHtml, false, QString(), false, QString(), false, false, false, false});
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TiWord::AddBookMark(const QString& BookMarkName) {
    const OleVariant range = FWord.get(QStringLiteral("Selection")).get(QStringLiteral("Range"));
    const auto bookmarks = [this] {
        return FWord.get(QStringLiteral("ActiveDocument")).get(QStringLiteral("Bookmarks"));
    };
    bookmarks().call(QStringLiteral("Add"), {BookMarkName, range.byRef()});
    bookmarks().put(QStringLiteral("DefaultSorting"), kSortByName);
    bookmarks().put(QStringLiteral("ShowHidden"), false);
}

void TiWord::OutPicture(const QString& sFileName) {
    try {
        // Embedded in the document (not linked to the file), so the document keeps it when the file goes.
        FWord.get(QStringLiteral("Selection"))
            .get(QStringLiteral("Range"))
            .get(QStringLiteral("InlineShapes"))
            .call(QStringLiteral("AddPicture"), {sFileName, false, true});
    } catch (const std::exception&) {
        // A picture Word cannot read is simply not inserted.
    }
    ProcessPendingMessages();
}

bool TiWord::MergeDocs(const QString& MergedDocName, const QString& DocList) {
    if (OpenedDocs() == 0 || DocList.trimmed().isEmpty()) {
        return false;
    }
    const OleVariant merged =
        FWord.get(QStringLiteral("Documents")).call(QStringLiteral("Add"), {OleVariant::missing()});
    const QStringList lines = DocList.split(QLatin1Char('\n'));
    for (QString path : lines) {
        if (path.endsWith(QLatin1Char('\r'))) {
            path.chop(1);
        }
        if (path.isEmpty()) {
            continue;
        }
        ProcessPendingMessages();
        if (QFileInfo(path).isFile()) {
            FWord.get(QStringLiteral("Selection"))
                .call(QStringLiteral("InsertFile"), {path, QString(), false, false, false});
        }
    }
    merged.call(QStringLiteral("SaveAs"), {MergedDocName});
    merged.call(QStringLiteral("Close"));
    return true;
}

void TiWord::RunMacro(const QString& mcrName) {
    FWord.call(QStringLiteral("Run"), {mcrName});
}

void TiWord::DeleteBlankParagraph() {
    if (OpenedDocs() == 0) {
        return;
    }
    WithoutScreenUpdating([this] {
        const auto paragraph = [this](int i) {
            return FWord.get(QStringLiteral("ActiveDocument"))
                .get(QStringLiteral("Paragraphs"))
                .get(QStringLiteral("Item"), {i})
                .get(QStringLiteral("Range"));
        };
        const int n = FWord.get(QStringLiteral("ActiveDocument"))
                          .get(QStringLiteral("Paragraphs"))
                          .get(QStringLiteral("Count"))
                          .toInt();
        // From the last paragraph to the first: a deletion only moves paragraphs already visited.
        for (int i = n; i >= 1; --i) {
            if (paragraph(i).get(QStringLiteral("Text")).toString().size() == 1) {
                paragraph(i).call(QStringLiteral("Delete"));
            }
        }
    });
}

} // namespace velmora
