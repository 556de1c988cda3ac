#include "commandtakeover.h"
#include "writerserver.h"

#include "office/automation/oleserver.h"

#include <QFileInfo>
#include <QSet>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XDocumentIndexesSupplier.hpp>
#include <com/sun/star/text/XEndnotesSupplier.hpp>
#include <com/sun/star/text/XFootnotesSupplier.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextEmbeddedObjectsSupplier.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextGraphicObjectsSupplier.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextTablesSupplier.hpp>
#include <com/sun/star/util/DateTime.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XReplaceable.hpp>
#include <com/sun/star/util/XSearchable.hpp>

namespace velmora::lo {

using namespace css::uno;
using rtl::OUString;

// --- values ------------------------------------------------------------------------------------------------------

Any ToAny(const OleVariant& value) {
    switch (value.kind()) {
    case OleVariant::Kind::Empty:
    case OleVariant::Kind::Missing:
        return Any();
    case OleVariant::Kind::Bool:
        return Any(value.toBool());
    case OleVariant::Kind::Int:
        return Any(sal_Int32(value.toInt()));
    case OleVariant::Kind::Single:
    case OleVariant::Kind::Double:
    case OleVariant::Kind::Currency:
    case OleVariant::Kind::Date:
        return Any(value.toDouble());
    case OleVariant::Kind::Text:
        return Any(ToOU(value.toString()));
    case OleVariant::Kind::Object:
        break;
    }
    throw AutomationError(QStringLiteral("an object cannot be stored in the office"), AutomationFault::TypeMismatch);
}

OleVariant FromAny(const Any& value) {
    switch (value.getValueTypeClass()) {
    case TypeClass_BOOLEAN:
        return value.get<bool>();
    case TypeClass_BYTE:
    case TypeClass_SHORT:
    case TypeClass_UNSIGNED_SHORT:
    case TypeClass_LONG:
        return int(value.get<sal_Int32>());
    case TypeClass_UNSIGNED_LONG:
    case TypeClass_HYPER:
    case TypeClass_UNSIGNED_HYPER:
        return double(value.get<sal_Int64>());
    case TypeClass_FLOAT:
    case TypeClass_DOUBLE:
        return value.get<double>();
    case TypeClass_STRING:
        return ToQ(value.get<OUString>());
    case TypeClass_STRUCT:
        if (css::util::DateTime date; value >>= date) {
            if (date.Year == 0) {
                return OleVariant();
            }
            return OleVariant::dateTime(
                QDateTime(QDate(date.Year, date.Month, date.Day), QTime(date.Hours, date.Minutes, date.Seconds)));
        }
        break;
    default:
        break;
    }
    return OleVariant();
}

sal_Int32 PointsToHmm(double points) {
    return sal_Int32(qRound(points * 2540.0 / 72.0));
}

double HmmToPoints(sal_Int32 hmm) {
    return qRound(hmm * 72.0 / 2540.0 * 100.0) / 100.0;
}

QString WordText(const Reference<css::text::XTextRange>& range) {
    QString text = ToQ(range->getString());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    text.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    return text;
}

QString DocumentText(const Doc& doc) {
    // Word ends its main story with a paragraph mark that the office does not report.
    return WordText(Up<css::text::XTextRange>(doc->text()->getText())) + QLatin1Char('\r');
}

namespace {

Reference<css::beans::XPropertySet> Props(const Reference<XInterface>& object) {
    return Reference<css::beans::XPropertySet>(object, UNO_QUERY_THROW);
}

Reference<css::document::XDocumentProperties> DocProperties(const Doc& doc) {
    return Reference<css::document::XDocumentPropertiesSupplier>(doc->model, UNO_QUERY_THROW)->getDocumentProperties();
}

template <typename Visit>
void ForEachParagraph(const Doc& doc, Visit visit) {
    const Reference<css::container::XEnumerationAccess> access(doc->text()->getText(), UNO_QUERY_THROW);
    const Reference<css::container::XEnumeration> paragraphs = access->createEnumeration();
    while (paragraphs->hasMoreElements()) {
        const Reference<css::lang::XServiceInfo> info(paragraphs->nextElement(), UNO_QUERY);
        if (info.is() && info->supportsService("com.sun.star.text.Paragraph")) {
            visit(Reference<css::text::XTextRange>(info, UNO_QUERY_THROW));
        }
    }
}

int CountIndexes(const Doc& doc, const char* service) {
    const Reference<css::container::XIndexAccess> indexes =
        Reference<css::text::XDocumentIndexesSupplier>(doc->model, UNO_QUERY_THROW)->getDocumentIndexes();
    int count = 0;
    for (sal_Int32 i = 0; i < indexes->getCount(); ++i) {
        const Reference<css::lang::XServiceInfo> info(indexes->getByIndex(i), UNO_QUERY);
        count += info.is() && info->supportsService(OUString::createFromAscii(service)) ? 1 : 0;
    }
    return count;
}

// Text fields, comments counted apart as Word keeps them apart.
int CountFields(const Doc& doc, bool comments) {
    const Reference<css::container::XEnumeration> fields =
        Reference<css::text::XTextFieldsSupplier>(doc->model, UNO_QUERY_THROW)->getTextFields()->createEnumeration();
    int count = 0;
    while (fields->hasMoreElements()) {
        const Reference<css::lang::XServiceInfo> info(fields->nextElement(), UNO_QUERY);
        const bool comment = info.is() && info->supportsService("com.sun.star.text.TextField.Annotation");
        count += comment == comments ? 1 : 0;
    }
    return count;
}

// Sentences as Word counts them: each run of text closed by a sentence mark, the rest of a paragraph, and every
// empty paragraph.
int CountSentences(const QString& text) {
    static const QString marks = QStringLiteral(".!?。！？");
    int count = 0;
    const QStringList paragraphs = text.split(QLatin1Char('\r'));
    for (qsizetype p = 0; p + 1 < paragraphs.size() || (p == 0 && paragraphs.size() == 1); ++p) {
        const QString& paragraph = paragraphs.at(p);
        bool open = false;
        for (qsizetype i = 0; i < paragraph.size(); ++i) {
            if (marks.contains(paragraph.at(i))) {
                if (open && (i + 1 == paragraph.size() || !marks.contains(paragraph.at(i + 1)))) {
                    ++count;
                    open = false;
                }
            } else if (!paragraph.at(i).isSpace()) {
                open = true;
            }
        }
        count += open || paragraph.trimmed().isEmpty() ? 1 : 0;
    }
    return count;
}

struct Hyperlink {
    QString address;
    QString text;
    QList<Reference<css::text::XTextRange>> portions;
};

QList<Hyperlink> HyperlinksOf(const Doc& doc) {
    QList<Hyperlink> links;
    ForEachParagraph(doc, [&](const Reference<css::text::XTextRange>& paragraph) {
        const Reference<css::container::XEnumeration> portions =
            Reference<css::container::XEnumerationAccess>(paragraph, UNO_QUERY_THROW)->createEnumeration();
        bool continuing = false;
        while (portions->hasMoreElements()) {
            const Reference<css::text::XTextRange> portion(portions->nextElement(), UNO_QUERY);
            if (!portion.is()) {
                continuing = false;
                continue;
            }
            const QString url = ToQ(Props(portion)->getPropertyValue("HyperLinkURL").get<OUString>());
            if (url.isEmpty()) {
                continuing = false;
                continue;
            }
            if (!continuing || links.last().address != url) {
                links.append(Hyperlink{url, QString(), {}});
            }
            links.last().text += ToQ(portion->getString());
            links.last().portions.append(portion);
            continuing = true;
        }
    });
    return links;
}

int CountOf(const Doc& doc, const QString& collection) {
    if (collection == u"characters") {
        return int(DocumentText(doc).size());
    }
    if (collection == u"paragraphs") {
        return int(DocumentText(doc).count(QLatin1Char('\r')));
    }
    if (collection == u"sentences") {
        return CountSentences(DocumentText(doc));
    }
    if (collection == u"bookmarks") {
        return int(Reference<css::text::XBookmarksSupplier>(doc->model, UNO_QUERY_THROW)
                       ->getBookmarks()
                       ->getElementNames()
                       .getLength());
    }
    if (collection == u"comments") {
        return CountFields(doc, true);
    }
    if (collection == u"fields") {
        // Word keeps hyperlinks and tables of contents and indexes as fields too; the office keeps them apart.
        return CountFields(doc, false) + int(HyperlinksOf(doc).size()) +
               CountIndexes(doc, "com.sun.star.text.DocumentIndex") +
               CountIndexes(doc, "com.sun.star.text.ContentIndex") +
               CountIndexes(doc, "com.sun.star.text.IllustrationsIndex") +
               CountIndexes(doc, "com.sun.star.text.Bibliography");
    }
    if (collection == u"endnotes") {
        return int(Reference<css::text::XEndnotesSupplier>(doc->model, UNO_QUERY_THROW)->getEndnotes()->getCount());
    }
    if (collection == u"footnotes") {
        return int(Reference<css::text::XFootnotesSupplier>(doc->model, UNO_QUERY_THROW)->getFootnotes()->getCount());
    }
    if (collection == u"hyperlinks") {
        return int(HyperlinksOf(doc).size());
    }
    if (collection == u"indexes") {
        return CountIndexes(doc, "com.sun.star.text.DocumentIndex");
    }
    if (collection == u"tablesofcontents") {
        return CountIndexes(doc, "com.sun.star.text.ContentIndex");
    }
    if (collection == u"tablesoffigures") {
        return CountIndexes(doc, "com.sun.star.text.IllustrationsIndex");
    }
    if (collection == u"tablesofauthorities") {
        return CountIndexes(doc, "com.sun.star.text.Bibliography");
    }
    if (collection == u"tablesofauthoritiescategories") {
        // Word's categories of authorities are a fixed list of seven.
        return 7;
    }
    if (collection == u"tables") {
        return int(Reference<css::text::XTextTablesSupplier>(doc->model, UNO_QUERY_THROW)
                       ->getTextTables()
                       ->getElementNames()
                       .getLength());
    }
    if (collection == u"shapes") {
        // Word's Shapes are the floating ones; pictures in the text line are its InlineShapes.
        return CountAnchored(doc->model, false);
    }
    if (collection == u"styles") {
        const Reference<css::container::XNameAccess> families =
            Reference<css::style::XStyleFamiliesSupplier>(doc->model, UNO_QUERY_THROW)->getStyleFamilies();
        int count = 0;
        for (const char* family : {"ParagraphStyles", "CharacterStyles", "NumberingStyles", "TableStyles"}) {
            if (families->hasByName(OUString::createFromAscii(family))) {
                count += int(Reference<css::container::XNameAccess>(
                                 families->getByName(OUString::createFromAscii(family)), UNO_QUERY_THROW)
                                 ->getElementNames()
                                 .getLength());
            }
        }
        return count;
    }
    if (collection == u"listparagraphs" || collection == u"listtemplates" || collection == u"sections") {
        int listParagraphs = 0;
        int sections = 0;
        bool first = true;
        QSet<QString> lists;
        ForEachParagraph(doc, [&](const Reference<css::text::XTextRange>& paragraph) {
            const Reference<css::beans::XPropertySet> properties = Props(paragraph);
            bool numbered = false;
            properties->getPropertyValue("NumberingIsNumber") >>= numbered;
            if (numbered) {
                ++listParagraphs;
                lists.insert(ToQ(properties->getPropertyValue("ListId").get<OUString>()));
            }
            // A Word section starts where a paragraph brings its own page style.
            OUString pageStyle;
            properties->getPropertyValue("PageDescName") >>= pageStyle;
            sections += (!pageStyle.isEmpty() || first) ? 1 : 0;
            first = false;
        });
        return collection == u"listparagraphs"  ? listParagraphs
               : collection == u"listtemplates" ? int(lists.size())
                                                : qMax(1, sections);
    }
    throw AutomationError(QStringLiteral("Document has no collection %1").arg(collection),
                          AutomationFault::UnknownMember);
}

using DocObject = DocBoundObject;

// Word's built-in properties by number and by name.
struct BuiltIn {
    int index;
    const char* name;
};
constexpr BuiltIn kBuiltIns[] = {
    {1, "Title"},
    {2, "Subject"},
    {3, "Author"},
    {4, "Keywords"},
    {5, "Comments"},
    {6, "Template"},
    {7, "Last Author"},
    {8, "Revision Number"},
    {9, "Application Name"},
    {10, "Last Print Date"},
    {11, "Creation Date"},
    {12, "Last Save Time"},
    {13, "Total Editing Time"},
    {14, "Number of Pages"},
    {15, "Number of Words"},
    {16, "Number of Characters"},
    {17, "Security"},
    {18, "Category"},
    {19, "Format"},
    {20, "Manager"},
    {21, "Company"},
    {22, "Number of Bytes"},
    {23, "Number of Lines"},
    {24, "Number of Paragraphs"},
    {25, "Number of Slides"},
    {26, "Number of Notes"},
    {27, "Number of Hidden Slides"},
    {28, "Number of Multimedia Clips"},
    {29, "Hyperlink base"},
    {30, "Number of Characters (with spaces)"},
};

class BuiltInPropertyObject final : public DocObject {
public:
    BuiltInPropertyObject(std::shared_ptr<WordCore> core, Doc doc, int index)
        : DocObject(std::move(core), std::move(doc)), m_index(index) {}

protected:
    QString typeName() const override { return QStringLiteral("DocumentProperty"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("value")) {
            return value();
        }
        if (r.is("name")) {
            return QString::fromLatin1(kBuiltIns[m_index - 1].name);
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& v) override {
        checkOpen();
        if (!r.is("value")) {
            DocObject::assign(r, v);
        }
        const Reference<css::document::XDocumentProperties> p = DocProperties(m_doc);
        const OUString text = ToOU(v.toString());
        switch (m_index) {
        case 1:
            p->setTitle(text);
            break;
        case 2:
            p->setSubject(text);
            break;
        case 3:
            p->setAuthor(text);
            break;
        case 4:
            p->setKeywords(Sequence<OUString>(&text, 1));
            break;
        case 5:
            p->setDescription(text);
            break;
        case 7:
            p->setModifiedBy(text);
            break;
        default:
            fail(QStringLiteral("The property %1 is read-only.").arg(QLatin1String(kBuiltIns[m_index - 1].name)));
        }
    }

private:
    OleVariant statistic(const char* name) const {
        const Sequence<css::beans::NamedValue> statistics = DocProperties(m_doc)->getDocumentStatistics();
        for (const css::beans::NamedValue& entry : statistics) {
            if (entry.Name.equalsAscii(name)) {
                return FromAny(entry.Value);
            }
        }
        return 0;
    }
    OleVariant value() const {
        const Reference<css::document::XDocumentProperties> p = DocProperties(m_doc);
        const Reference<css::beans::XPropertySet> model = Props(m_doc->model);
        switch (m_index) {
        case 1:
            return ToQ(p->getTitle());
        case 2:
            return ToQ(p->getSubject());
        case 3:
            return ToQ(p->getAuthor());
        case 4: {
            QStringList words;
            for (const OUString& word : p->getKeywords()) {
                words.append(ToQ(word));
            }
            return words.join(QStringLiteral(", "));
        }
        case 5:
            return ToQ(p->getDescription());
        case 6:
            return ToQ(p->getTemplateName());
        case 7:
            return ToQ(p->getModifiedBy());
        case 8:
            return int(p->getEditingCycles());
        case 9:
            return ToQ(p->getGenerator()).isEmpty() ? QStringLiteral("LibreOffice") : ToQ(p->getGenerator());
        case 10:
            return FromAny(Any(p->getPrintDate()));
        case 11:
            return FromAny(Any(p->getCreationDate()));
        case 12:
            return FromAny(Any(p->getModificationDate()));
        case 13:
            return int(p->getEditingDuration() / 60);
        case 14: {
            const Reference<css::beans::XPropertySet> view(m_doc->model->getCurrentController(), UNO_QUERY);
            return view.is() ? FromAny(view->getPropertyValue("PageCount")) : statistic("PageCount");
        }
        case 15:
            return FromAny(model->getPropertyValue("WordCount"));
        case 16:
            return statistic("NonWhitespaceCharacterCount");
        case 17:
            return m_doc->password.isEmpty() ? 0 : 1;
        case 22: {
            const QString path = m_doc->fullName();
            return QFileInfo(path).isFile() ? int(QFileInfo(path).size()) : 0;
        }
        case 23: {
            const Reference<css::beans::XPropertySet> view(m_doc->model->getCurrentController(), UNO_QUERY);
            return view.is() ? FromAny(view->getPropertyValue("LineCount")) : 0;
        }
        case 24:
            return FromAny(model->getPropertyValue("ParagraphCount"));
        case 25:
        case 26:
        case 27:
        case 28:
            return 0;
        case 30:
            return FromAny(model->getPropertyValue("CharacterCount"));
        default:
            // Category, Format, Manager, Company and the hyperlink base have no place in the office's document
            // properties.
            return QString();
        }
    }
    int m_index;
};

int BuiltInIndex(const OleVariant& which) {
    if (which.kind() == OleVariant::Kind::Text) {
        for (const BuiltIn& entry : kBuiltIns) {
            if (which.toString().compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
                return entry.index;
            }
        }
        throw AutomationError(QStringLiteral("No built-in property is named %1").arg(which.toString()),
                              AutomationFault::BadArguments);
    }
    const int index = which.toInt();
    if (index < 1 || index > int(std::size(kBuiltIns))) {
        throw AutomationError(QStringLiteral("Invalid procedure call or argument: built-in property %1").arg(index),
                              AutomationFault::BadArguments);
    }
    return index;
}

class BuiltInPropertiesObject final : public DocObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("DocumentProperties"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("count")) {
            return int(std::size(kBuiltIns));
        }
        if (r.is("item") || (r.is("value") && !r.args.isEmpty())) {
            const auto which = r.arg(0, "Index");
            if (!which) {
                fail(QStringLiteral("BuiltInDocumentProperties needs an index"), AutomationFault::BadArguments);
            }
            return MakeObject<BuiltInPropertyObject>(m_core, m_doc, BuiltInIndex(*which));
        }
        unknown(r);
    }
};

class CountedObject final : public DocObject {
public:
    CountedObject(std::shared_ptr<WordCore> core, Doc doc, QString collection)
        : DocObject(std::move(core), std::move(doc)), m_collection(std::move(collection)) {}

protected:
    QString typeName() const override { return m_collection; }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("count")) {
            return CountOf(m_doc, m_collection.toLower());
        }
        unknown(r);
    }

private:
    QString m_collection;
};

class HyperlinkObject final : public DocObject {
public:
    HyperlinkObject(std::shared_ptr<WordCore> core, Doc doc, Hyperlink link)
        : DocObject(std::move(core), std::move(doc)), m_link(std::move(link)) {}

protected:
    QString typeName() const override { return QStringLiteral("Hyperlink"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("address") || r.is("value")) {
            return m_link.address;
        }
        if (r.is("texttodisplay")) {
            return m_link.text;
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        if (!r.is("address")) {
            DocObject::assign(r, value);
        }
        for (const Reference<css::text::XTextRange>& portion : m_link.portions) {
            Props(portion)->setPropertyValue("HyperLinkURL", Any(ToOU(value.toString())));
        }
        m_link.address = value.toString();
    }

private:
    Hyperlink m_link;
};

class HyperlinksObject final : public DocObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("Hyperlinks"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("count")) {
            return int(HyperlinksOf(m_doc).size());
        }
        if (r.is("item") || (r.is("value") && !r.args.isEmpty())) {
            const QList<Hyperlink> links = HyperlinksOf(m_doc);
            const int i = r.integer(0, "Index", 0);
            if (i < 1 || i > links.size()) {
                fail(QStringLiteral("The requested member of the collection does not exist."),
                     AutomationFault::BadArguments);
            }
            return MakeObject<HyperlinkObject>(m_core, m_doc, links.at(i - 1));
        }
        if (r.is("add")) {
            const auto anchor = r.arg(0, "Anchor");
            if (!anchor) {
                fail(QStringLiteral("Hyperlinks.Add needs an anchor"), AutomationFault::BadArguments);
            }
            const Reference<css::text::XTextRange> range = RangeOf(*anchor);
            const QString shown = r.text(4, "TextToDisplay");
            if (!shown.isEmpty()) {
                range->setString(ToOU(shown));
            }
            Props(range)->setPropertyValue("HyperLinkURL", Any(ToOU(r.text(1, "Address"))));
            return OleVariant();
        }
        unknown(r);
    }
};

class BookmarksObject final : public DocObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("Bookmarks"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        const Reference<css::container::XNameAccess> marks =
            Reference<css::text::XBookmarksSupplier>(m_doc->model, UNO_QUERY_THROW)->getBookmarks();
        if (r.is("count")) {
            return int(marks->getElementNames().getLength());
        }
        if (r.is("exists")) {
            return bool(marks->hasByName(ToOU(r.text(0, "Name"))));
        }
        if (r.is("item") || (r.is("value") && !r.args.isEmpty())) {
            const Sequence<OUString> names = marks->getElementNames();
            const int i = r.integer(0, "Index", 0);
            if (i < 1 || i > names.getLength()) {
                fail(QStringLiteral("The requested member of the collection does not exist."),
                     AutomationFault::BadArguments);
            }
            return ToQ(names[i - 1]);
        }
        if (r.is("add")) {
            const QString name = r.text(0, "Name");
            const auto where = r.arg(1, "Range");
            const Reference<css::text::XTextRange> range =
                where ? RangeOf(*where) : Reference<css::text::XTextRange>(m_doc->viewCursor(), UNO_QUERY_THROW);
            const Reference<css::text::XTextContent> mark(
                Reference<css::lang::XMultiServiceFactory>(m_doc->model, UNO_QUERY_THROW)
                    ->createInstance("com.sun.star.text.Bookmark"),
                UNO_QUERY_THROW);
            Reference<css::container::XNamed>(mark, UNO_QUERY_THROW)->setName(ToOU(name));
            range->getText()->insertTextContent(range, mark, true);
            return OleVariant();
        }
        if (r.is("defaultsorting") || r.is("showhidden")) {
            return r.is("defaultsorting") ? OleVariant(m_core->bookmarkSorting) : OleVariant(m_core->showHidden);
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        // How Word's bookmark dialog sorts and whether it lists hidden marks: the office's navigator always sorts
        // by position and shows all, so the values are only kept for reading back.
        if (r.is("defaultsorting")) {
            m_core->bookmarkSorting = value.toInt();
            return;
        }
        if (r.is("showhidden")) {
            m_core->showHidden = value.toBool();
            return;
        }
        DocObject::assign(r, value);
    }
};

class ParagraphObject final : public DocObject {
public:
    ParagraphObject(std::shared_ptr<WordCore> core, Doc doc, Reference<css::text::XTextRange> paragraph)
        : DocObject(std::move(core), std::move(doc)), m_paragraph(std::move(paragraph)) {}

protected:
    QString typeName() const override { return QStringLiteral("Paragraph"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("range")) {
            // Word's paragraph range holds its paragraph mark.
            const Reference<css::text::XParagraphCursor> cursor(
                m_paragraph->getText()->createTextCursorByRange(m_paragraph), UNO_QUERY_THROW);
            if (!cursor->gotoNextParagraph(true)) {
                cursor->gotoEnd(true);
            }
            return MakeWordRange(m_core, m_doc, Up<css::text::XTextRange>(cursor));
        }
        unknown(r);
    }

private:
    Reference<css::text::XTextRange> m_paragraph;
};

class ParagraphsObject final : public DocObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("Paragraphs"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("count")) {
            return CountOf(m_doc, QStringLiteral("paragraphs"));
        }
        if (r.is("item") || (r.is("value") && !r.args.isEmpty())) {
            const int wanted = r.integer(0, "Index", 0);
            int i = 0;
            Reference<css::text::XTextRange> found;
            ForEachParagraph(m_doc, [&](const Reference<css::text::XTextRange>& paragraph) {
                if (++i == wanted) {
                    found = paragraph;
                }
            });
            if (!found.is()) {
                fail(QStringLiteral("The requested member of the collection does not exist."),
                     AutomationFault::BadArguments);
            }
            return MakeObject<ParagraphObject>(m_core, m_doc, found);
        }
        unknown(r);
    }
};

class DocumentObject final : public DocObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("Document"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("name") || r.is("value")) {
            return m_doc->name;
        }
        if (r.is("fullname")) {
            return m_doc->fullName();
        }
        if (r.is("path")) {
            return m_doc->model->getURL().isEmpty() ? QString() : QFileInfo(m_doc->fullName()).absolutePath();
        }
        if (r.is("saved")) {
            return !modifiable()->isModified();
        }
        if (r.is("readonly")) {
            return bool(Reference<css::frame::XStorable>(m_doc->model, UNO_QUERY_THROW)->isReadonly());
        }
        if (r.is("haspassword")) {
            return !m_doc->password.isEmpty();
        }
        if (r.is("codename")) {
            // Word's code name of a document's own module; the office has no per-document code module name.
            return QStringLiteral("ThisDocument");
        }
        if (r.is("attachedtemplate")) {
            return MakeObject<TemplateObject>(m_core, m_doc);
        }
        if (r.is("range") || r.is("content")) {
            return MakeWordRange(m_core, m_doc, Up<css::text::XTextRange>(m_doc->text()->getText()));
        }
        if (r.is("activewindow")) {
            return MakeWordWindow(m_core, m_doc);
        }
        if (r.is("activate")) {
            m_core->setActive(m_doc);
            return OleVariant();
        }
        if (r.is("takeovercommands")) {
            const auto sink = r.arg(0, "Sink");
            if (!sink || !sink->isObject()) {
                fail(QStringLiteral("Document.TakeOverCommands needs the object that hears the commands"),
                     AutomationFault::BadArguments);
            }
            TakeOverCommands(m_doc, sink->toObject());
            return OleVariant();
        }
        if (r.is("givebackcommands")) {
            GiveBackCommands(m_doc);
            return OleVariant();
        }
        if (r.is("builtindocumentproperties")) {
            if (const auto which = r.arg(0, "Index")) {
                return MakeObject<BuiltInPropertyObject>(m_core, m_doc, BuiltInIndex(*which));
            }
            return MakeObject<BuiltInPropertiesObject>(m_core, m_doc);
        }
        if (r.is("hyperlinks")) {
            return collection<HyperlinksObject>(r);
        }
        if (r.is("bookmarks")) {
            return collection<BookmarksObject>(r);
        }
        if (r.is("paragraphs")) {
            return collection<ParagraphsObject>(r);
        }
        static const char* const counted[] = {"Characters",
                                              "Comments",
                                              "Endnotes",
                                              "Fields",
                                              "Footnotes",
                                              "Indexes",
                                              "ListParagraphs",
                                              "ListTemplates",
                                              "Sections",
                                              "Sentences",
                                              "Shapes",
                                              "Styles",
                                              "Tables",
                                              "TablesOfAuthorities",
                                              "TablesOfAuthoritiesCategories",
                                              "TablesOfContents",
                                              "TablesOfFigures"};
        for (const char* name : counted) {
            if (r.key == QLatin1String(name).toString().toLower()) {
                return MakeObject<CountedObject>(m_core, m_doc, QLatin1String(name));
            }
        }
        if (r.is("save")) {
            m_core->save(m_doc);
            return OleVariant();
        }
        if (r.is("saveas") || r.is("saveas2")) {
            const QString path = r.text(0, "FileName");
            if (path.isEmpty()) {
                fail(QStringLiteral("SaveAs needs a file name"), AutomationFault::BadArguments);
            }
            if (!r.text(5, "WritePassword").isEmpty()) {
                fail(QStringLiteral("A password for writing cannot be set in this office; use Password."));
            }
            const auto password = r.arg(3, "Password");
            m_core->saveAs(m_doc, path, r.integer(1, "FileFormat", -1),
                           password ? std::optional<QString>(password->toString()) : std::nullopt);
            return OleVariant();
        }
        if (r.is("close")) {
            m_core->close(m_doc, r.integer(0, "SaveChanges", -2));
            return OleVariant();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        if (r.is("saved")) {
            modifiable()->setModified(!value.toBool());
            return;
        }
        DocObject::assign(r, value);
    }

private:
    class TemplateObject final : public DocObject {
    public:
        using DocBoundObject::DocBoundObject;

    protected:
        QString typeName() const override { return QStringLiteral("Template"); }
        OleVariant invoke(const Request& r) override {
            const Reference<css::document::XDocumentProperties> p = DocProperties(m_doc);
            // Documents made from the office's default template name none; Word calls that one Normal.
            const QString url = ToQ(p->getTemplateURL());
            const QString name = ToQ(p->getTemplateName());
            if (r.is("fullname")) {
                return url.isEmpty() ? (name.isEmpty() ? QStringLiteral("Normal") : name)
                                     : LocalPath(p->getTemplateURL());
            }
            if (r.is("name") || r.is("value")) {
                return name.isEmpty() ? QStringLiteral("Normal") : name;
            }
            unknown(r);
        }
    };

    template <typename T>
    OleVariant collection(const Request& r) {
        const OleVariant object = MakeObject<T>(m_core, m_doc);
        if (!r.args.isEmpty()) {
            return object.get(QStringLiteral("Item"), r.args);
        }
        return object;
    }
    Reference<css::util::XModifiable> modifiable() const {
        return Reference<css::util::XModifiable>(m_doc->model, UNO_QUERY_THROW);
    }
};

} // namespace

int CountAnchored(const Reference<css::frame::XModel>& model, bool inlineOnes) {
    const Reference<css::container::XNameAccess> collections[] = {
        Reference<css::text::XTextGraphicObjectsSupplier>(model, UNO_QUERY_THROW)->getGraphicObjects(),
        Reference<css::text::XTextFramesSupplier>(model, UNO_QUERY_THROW)->getTextFrames(),
        Reference<css::text::XTextEmbeddedObjectsSupplier>(model, UNO_QUERY_THROW)->getEmbeddedObjects()};
    int count = 0;
    for (const Reference<css::container::XNameAccess>& objects : collections) {
        for (const OUString& name : objects->getElementNames()) {
            css::text::TextContentAnchorType anchor = css::text::TextContentAnchorType_AT_PARAGRAPH;
            Props(objects->getByName(name).get<Reference<XInterface>>())->getPropertyValue("AnchorType") >>= anchor;
            count += (anchor == css::text::TextContentAnchorType_AS_CHARACTER) == inlineOnes ? 1 : 0;
        }
    }
    return count;
}

OleVariant MakeWordDocument(const std::shared_ptr<WordCore>& core, const Doc& doc) {
    return MakeObject<DocumentObject>(core, doc);
}

} // namespace velmora::lo
