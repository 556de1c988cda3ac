#include "doubleobject.h"

#include <QFile>

namespace velmora::test {

namespace {

using Doc = std::shared_ptr<WordDocument>;

struct Span {
    qsizetype start = 0;
    qsizetype length = 0;
};

// Paragraphs of a document text, each with its closing "\r".
QList<Span> paragraphsOf(const QString& text) {
    QList<Span> spans;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype cr = text.indexOf(QLatin1Char('\r'), start);
        const qsizetype end = cr < 0 ? text.size() : cr + 1;
        spans.append({start, end - start});
        start = end;
    }
    return spans;
}

class WordObject : public BagObject {
public:
    using BagObject::BagObject;

protected:
    WordDouble& word() const { return static_cast<WordDouble&>(*m_server); }
    Doc activeDocument() const {
        if (!word().active) {
            RaiseFailed(QStringLiteral("This command is not available because no document is open."));
        }
        return word().active;
    }
};

class RangeObject final : public WordObject {
public:
    RangeObject(std::shared_ptr<ServerDouble> server, QString path, Doc doc, Span span)
        : WordObject(std::move(server), std::move(path), QStringLiteral("Range")), m_doc(std::move(doc)), m_span(span) {
    }

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        if (key == u"text") {
            return m_doc->text.mid(m_span.start, m_span.length);
        }
        if (key == u"delete") {
            m_doc->text.remove(m_span.start, m_span.length);
            m_doc->saved = false;
            return OleVariant();
        }
        if (key == u"inlineshapes") {
            return make<InlineShapesObject>(child(name), m_doc);
        }
        return WordObject::invoke(key, name, args, named, call);
    }

private:
    class InlineShapesObject final : public WordObject {
    public:
        InlineShapesObject(std::shared_ptr<ServerDouble> server, QString path, Doc doc)
            : WordObject(std::move(server), std::move(path), QStringLiteral("InlineShapes")), m_doc(std::move(doc)) {}

    protected:
        OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                          bool call) override {
            if (key == u"addpicture") {
                m_doc->pictures.append(Arg(args, named, 0, QStringLiteral("FileName")).toString());
                m_doc->saved = false;
                return OleVariant();
            }
            return WordObject::invoke(key, name, args, named, call);
        }

    private:
        Doc m_doc;
    };

    Doc m_doc;
    Span m_span;
};

class FindObject final : public WordObject {
public:
    FindObject(std::shared_ptr<ServerDouble> server, QString path)
        : WordObject(std::move(server), std::move(path), QStringLiteral("Selection.Find")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        if (key != u"execute") {
            return WordObject::invoke(key, name, args, named, call);
        }
        WordDouble& w = word();
        const Doc doc = activeDocument();
        const QString what = m_server->property(QStringLiteral("Selection.Find"), QStringLiteral("Text")).toString();
        if (what.isEmpty()) {
            return false;
        }
        const OleVariant replace = Arg(args, named, 10, QStringLiteral("Replace"));
        if (!replace.isMissing() && replace.toInt() == 2) {
            const QString with =
                m_server->property(QStringLiteral("Selection.Find.Replacement"), QStringLiteral("Text")).toString();
            const bool found = doc->text.contains(what, Qt::CaseInsensitive);
            if (found) {
                doc->text.replace(what, with, Qt::CaseInsensitive);
                doc->saved = false;
            }
            return found;
        }
        const qsizetype at = doc->text.indexOf(what, w.selectionStart + w.selectionLength, Qt::CaseInsensitive);
        if (at < 0) {
            return false;
        }
        w.selectionStart = at;
        w.selectionLength = what.size();
        return true;
    }
};

class SelectionObject final : public WordObject {
public:
    SelectionObject(std::shared_ptr<ServerDouble> server, QString path)
        : WordObject(std::move(server), std::move(path), QStringLiteral("Selection")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        WordDouble& w = word();
        const Doc doc = activeDocument();
        if (key == u"text") {
            return doc->text.mid(w.selectionStart, w.selectionLength);
        }
        if (key == u"range") {
            return make<RangeObject>(child(name), doc, Span{w.selectionStart, w.selectionLength});
        }
        if (key == u"find") {
            return make<FindObject>(child(name));
        }
        if (key == u"information") {
            return args.value(0).toInt() == 4 ? OleVariant(doc->pages) : OleVariant();
        }
        if (key == u"wholestory") {
            w.selectionStart = 0;
            w.selectionLength = doc->text.size();
        } else if (key == u"copy") {
            w.clipboard = doc->text.mid(w.selectionStart, w.selectionLength);
        } else if (key == u"endkey") {
            // The end of the story is before the final paragraph mark.
            w.selectionStart = doc->text.endsWith(QLatin1Char('\r')) ? doc->text.size() - 1 : doc->text.size();
            w.selectionLength = 0;
        } else if (key == u"typeparagraph") {
            insert(*doc, QStringLiteral("\r"));
        } else if (key == u"insertfile") {
            const QString path = Arg(args, named, 0, QStringLiteral("FileName")).toString();
            const std::optional<QString> text = w.fileText(path);
            if (!text) {
                RaiseFailed(QStringLiteral("Sorry, we couldn't find your file: %1").arg(path));
            }
            insert(*doc, *text);
        } else {
            return WordObject::invoke(key, name, args, named, call);
        }
        return OleVariant();
    }

    void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value) override {
        if (key == u"text") {
            insert(*activeDocument(), value.toString());
            return;
        }
        WordObject::assign(key, name, index, value);
    }

private:
    void insert(WordDocument& doc, const QString& text) {
        WordDouble& w = word();
        doc.text.replace(w.selectionStart, w.selectionLength, text);
        w.selectionStart += text.size();
        w.selectionLength = 0;
        doc.saved = false;
    }
};

class WindowObject final : public WordObject {
public:
    WindowObject(std::shared_ptr<ServerDouble> server, QString path)
        : WordObject(std::move(server), std::move(path), QStringLiteral("ActiveWindow")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        activeDocument();
        if (key == u"selection") {
            return make<SelectionObject>(child(name));
        }
        return WordObject::invoke(key, name, args, named, call);
    }
};

// The items of a document collection that the double models by their number only.
class ItemObject final : public WordObject {
public:
    ItemObject(std::shared_ptr<ServerDouble> server, QString path, Doc doc, QString collection, int index)
        : WordObject(std::move(server), std::move(path), collection), m_doc(std::move(doc)),
          m_collection(std::move(collection)), m_index(index) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        if (m_collection == u"hyperlinks" && key == u"address") {
            return m_doc->hyperlinks.at(m_index);
        }
        if (m_collection == u"paragraphs" && key == u"range") {
            return make<RangeObject>(child(name), m_doc, paragraphsOf(m_doc->text).at(m_index));
        }
        if (m_collection == u"builtindocumentproperties" && (key.isEmpty() || key == u"value")) {
            return m_doc->builtInValues.value(m_index);
        }
        if (m_collection == u"bookmarks" && key == u"name") {
            return m_doc->bookmarks.at(m_index);
        }
        return WordObject::invoke(key, name, args, named, call);
    }

    void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value) override {
        if (m_collection == u"hyperlinks" && key == u"address") {
            m_doc->hyperlinks[m_index] = value.toString();
            m_doc->saved = false;
            return;
        }
        WordObject::assign(key, name, index, value);
    }

private:
    Doc m_doc;
    QString m_collection;
    int m_index;
};

class CollectionObject final : public WordObject {
public:
    CollectionObject(std::shared_ptr<ServerDouble> server, QString path, Doc doc, QString collection)
        : WordObject(std::move(server), std::move(path), QStringLiteral("ActiveDocument.") + collection),
          m_doc(std::move(doc)), m_collection(collection.toLower()) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        if (key == u"count") {
            return count();
        }
        if (key == u"item") {
            const int i = args.value(0).toInt();
            if (i < 1 || i > count()) {
                RaiseBadArgs(QStringLiteral("The requested member of the collection does not exist."));
            }
            // Built-in properties are kept by their own index; the other items by position.
            const int at = m_collection == u"builtindocumentproperties" ? i : i - 1;
            return make<ItemObject>(child(name, args), m_doc, m_collection, at);
        }
        if (m_collection == u"bookmarks" && key == u"add") {
            m_doc->bookmarks.append(Arg(args, named, 0, QStringLiteral("Name")).toString());
            return OleVariant();
        }
        return WordObject::invoke(key, name, args, named, call);
    }

private:
    int count() const {
        if (m_collection == u"hyperlinks") {
            return int(m_doc->hyperlinks.size());
        }
        if (m_collection == u"bookmarks") {
            return int(m_doc->bookmarks.size());
        }
        if (m_collection == u"paragraphs") {
            return int(paragraphsOf(m_doc->text).size());
        }
        if (m_collection == u"characters") {
            return int(m_doc->text.size());
        }
        return m_doc->counts.value(m_collection);
    }

    Doc m_doc;
    QString m_collection;
};

class DocumentObject final : public WordObject {
public:
    DocumentObject(std::shared_ptr<ServerDouble> server, QString path, Doc doc)
        : WordObject(std::move(server), std::move(path), QStringLiteral("Document")), m_doc(std::move(doc)) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        WordDocument& d = *m_doc;
        if (key == u"fullname") {
            return d.fullName;
        }
        if (key == u"name") {
            return d.name;
        }
        if (key == u"saved") {
            return d.saved;
        }
        if (key == u"readonly") {
            return d.readOnly;
        }
        if (key == u"haspassword") {
            return !d.password.isEmpty();
        }
        if (key == u"codename") {
            return d.codeName;
        }
        if (key == u"attachedtemplate") {
            m_server->setProperty(QStringLiteral("AttachedTemplate"), QStringLiteral("FullName"), d.templateName);
            return make<BagObject>(child(name), QStringLiteral("AttachedTemplate"));
        }
        if (key == u"range") {
            return make<RangeObject>(child(name), m_doc, Span{0, d.text.size()});
        }
        if (key == u"activewindow") {
            return make<WindowObject>(child(name));
        }
        if (key == u"activate") {
            WordDouble& w = word();
            if (w.active != m_doc) {
                w.active = m_doc;
                w.selectionStart = 0;
                w.selectionLength = 0;
            }
            return OleVariant();
        }
        if (key == u"takeovercommands") {
            d.commandSink = Arg(args, named, 0, QStringLiteral("Sink")).toObject();
            return OleVariant();
        }
        if (key == u"givebackcommands") {
            d.commandSink.reset();
            return OleVariant();
        }
        if (key == u"builtindocumentproperties" && !args.isEmpty()) {
            return make<ItemObject>(child(name, args), m_doc, key, args.at(0).toInt());
        }
        if (key == u"save") {
            save(d.fullName);
            return OleVariant();
        }
        if (key == u"saveas") {
            const OleVariant password = Arg(args, named, 3, QStringLiteral("Password"));
            if (!password.isMissing()) {
                d.password = password.toString();
            }
            const OleVariant format = Arg(args, named, 1, QStringLiteral("FileFormat"));
            save(Arg(args, named, 0, QStringLiteral("FileName")).toString(), format.isMissing() ? -1 : format.toInt());
            return OleVariant();
        }
        if (key == u"close") {
            const OleVariant saveChanges = Arg(args, named, 0, QStringLiteral("SaveChanges"));
            if (!saveChanges.isMissing() && saveChanges.toInt() == -1 && !d.saved) {
                save(d.fullName);
            }
            word().closeDocument(m_doc);
            return OleVariant();
        }
        if (!call && args.isEmpty()) {
            static const QStringList collections = {QStringLiteral("bookmarks"),
                                                    QStringLiteral("characters"),
                                                    QStringLiteral("comments"),
                                                    QStringLiteral("endnotes"),
                                                    QStringLiteral("fields"),
                                                    QStringLiteral("footnotes"),
                                                    QStringLiteral("hyperlinks"),
                                                    QStringLiteral("indexes"),
                                                    QStringLiteral("listparagraphs"),
                                                    QStringLiteral("listtemplates"),
                                                    QStringLiteral("paragraphs"),
                                                    QStringLiteral("sections"),
                                                    QStringLiteral("sentences"),
                                                    QStringLiteral("shapes"),
                                                    QStringLiteral("styles"),
                                                    QStringLiteral("tables"),
                                                    QStringLiteral("tablesofauthorities"),
                                                    QStringLiteral("tablesofauthoritiescategories"),
                                                    QStringLiteral("tablesofcontents"),
                                                    QStringLiteral("tablesoffigures"),
                                                    QStringLiteral("builtindocumentproperties")};
            if (collections.contains(key)) {
                return make<CollectionObject>(child(name), m_doc, name);
            }
        }
        return WordObject::invoke(key, name, args, named, call);
    }

    void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value) override {
        if (key == u"saved") {
            m_doc->saved = value.toBool();
            return;
        }
        WordObject::assign(key, name, index, value);
    }

private:
    void save(const QString& fullName, int format = -1) {
        WordDocument& d = *m_doc;
        d.fullName = fullName;
        d.name = PathFileName(fullName);
        d.saved = true;
        ++d.saveCount;
        OfficeDouble& office = *word().owner();
        office.disk.insert(fullName, DiskFile{d.text, format});
        if (d.password.isEmpty()) {
            office.passwords.remove(fullName);
        } else {
            office.passwords.insert(fullName, d.password);
        }
    }
    Doc m_doc;
};

class DocumentsObject final : public WordObject {
public:
    DocumentsObject(std::shared_ptr<ServerDouble> server, QString path)
        : WordObject(std::move(server), std::move(path), QStringLiteral("Documents")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        WordDouble& w = word();
        if (key == u"count") {
            return int(w.documents.size());
        }
        if (key == u"item") {
            const int i = args.value(0).toInt();
            if (i < 1 || i > w.documents.size()) {
                RaiseBadArgs(QStringLiteral("The requested member of the collection does not exist."));
            }
            return make<DocumentObject>(child(name, args), w.documents.at(i - 1));
        }
        if (key == u"add") {
            const Doc doc = w.addNewDocument();
            return make<DocumentObject>(QStringLiteral("[%1]").arg(doc->name), doc);
        }
        if (key == u"open") {
            const QString path = Arg(args, named, 0, QStringLiteral("FileName")).toString();
            const std::optional<QString> text = w.fileText(path);
            if (!text) {
                RaiseFailed(QStringLiteral("Sorry, we couldn't find your file: %1").arg(path));
            }
            const QString password = w.owner()->passwords.value(path);
            if (!password.isEmpty() && Arg(args, named, 4, QStringLiteral("PasswordDocument")).toString() != password) {
                RaiseFailed(QStringLiteral("The password is incorrect. Word cannot open the document."));
            }
            const Doc doc = w.addDocument(path, *text);
            doc->password = password;
            const OleVariant readOnly = Arg(args, named, 2, QStringLiteral("ReadOnly"));
            doc->readOnly = !readOnly.isMissing() && readOnly.toBool();
            return make<DocumentObject>(QStringLiteral("[%1]").arg(doc->name), doc);
        }
        if (key == u"close") {
            while (!w.documents.isEmpty()) {
                w.closeDocument(w.documents.last());
            }
            return OleVariant();
        }
        return WordObject::invoke(key, name, args, named, call);
    }
};

class WordApplication final : public WordObject {
public:
    explicit WordApplication(std::shared_ptr<ServerDouble> server)
        : WordObject(std::move(server), QString(), QStringLiteral("Application")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        WordDouble& w = word();
        if (key == u"documents") {
            return make<DocumentsObject>(child(name));
        }
        if (key == u"activedocument") {
            return make<DocumentObject>(child(name), activeDocument());
        }
        if (key == u"selection") {
            activeDocument();
            return make<SelectionObject>(child(name));
        }
        if (key == u"activewindow") {
            activeDocument();
            return make<WindowObject>(child(name));
        }
        if (key == u"quit") {
            m_server->quitNow();
            return OleVariant();
        }
        if (key == u"goback") {
            ++w.goBackCount;
            return OleVariant();
        }
        if (key == u"run") {
            w.macrosRun.append(args.value(0).toString());
            return OleVariant();
        }
        return WordObject::invoke(key, name, args, named, call);
    }
};

} // namespace

std::shared_ptr<WordDocument> WordDouble::addDocument(const QString& fullName, const QString& text) {
    auto doc = std::make_shared<WordDocument>();
    doc->fullName = fullName;
    doc->name = PathFileName(fullName);
    doc->text = text;
    documents.append(doc);
    active = doc;
    selectionStart = 0;
    selectionLength = 0;
    return doc;
}

std::shared_ptr<WordDocument> WordDouble::addNewDocument() {
    const QString name = QStringLiteral("文档%1").arg(m_nextNewNumber++);
    auto doc = addDocument(name);
    doc->saved = true;
    return doc;
}

void WordDouble::closeDocument(const std::shared_ptr<WordDocument>& document) {
    documents.removeAll(document);
    if (active == document) {
        active = documents.isEmpty() ? nullptr : documents.last();
        selectionStart = 0;
        selectionLength = 0;
    }
}

std::optional<QString> WordDouble::fileText(const QString& path) const {
    const auto onDisk = m_owner->disk.constFind(path);
    if (onDisk != m_owner->disk.constEnd()) {
        return onDisk->text;
    }
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    text.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    if (!text.endsWith(QLatin1Char('\r'))) {
        text += QLatin1Char('\r');
    }
    return text;
}

std::shared_ptr<Dispatch> WordDouble::makeApplication() {
    declareBag(QStringLiteral("Application.Options"));
    declareBag(QStringLiteral("Selection.Font"));
    declareBag(QStringLiteral("Selection.ParagraphFormat"));
    declareBag(QStringLiteral("Selection.Find.Replacement"));
    declareBag(QStringLiteral("ActiveWindow.ActivePane"));
    declareBag(QStringLiteral("ActiveWindow.ActivePane.View"));
    declareBag(QStringLiteral("ActiveWindow.ActivePane.View.Zoom"));
    return std::make_shared<WordApplication>(shared_from_this());
}

} // namespace velmora::test
