#include "doubleobject.h"

namespace velmora::test {

namespace {

using Book = std::shared_ptr<ExcelWorkbook>;

// "B7" as (7, 2).
QPair<int, int> CellNamed(const QString& text) {
    int column = 0;
    qsizetype i = 0;
    for (; i < text.size() && text.at(i).isLetter(); ++i) {
        column = column * 26 + (text.at(i).toUpper().unicode() - 'A' + 1);
    }
    bool ok = false;
    const int row = text.mid(i).toInt(&ok);
    if (column < 1 || !ok || row < 1) {
        RaiseBadArgs(QStringLiteral("Not a cell name: %1").arg(text));
    }
    return {row, column};
}

class ExcelObject : public BagObject {
public:
    using BagObject::BagObject;

protected:
    ExcelDouble& excel() const { return static_cast<ExcelDouble&>(*m_server); }
    Book activeWorkbook() const {
        if (!excel().active) {
            RaiseFailed(QStringLiteral("No workbook is open."));
        }
        return excel().active;
    }
    // A sheet given by its 1-based number or by its name.
    static int sheetIndex(const ExcelWorkbook& book, const OleVariant& which) {
        if (which.kind() == OleVariant::Kind::Text) {
            for (int i = 0; i < book.sheets.size(); ++i) {
                if (book.sheets.at(i).name.compare(which.toString(), Qt::CaseInsensitive) == 0) {
                    return i;
                }
            }
        } else {
            const int i = which.toInt() - 1;
            if (i >= 0 && i < book.sheets.size()) {
                return i;
            }
        }
        RaiseBadArgs(QStringLiteral("Subscript out of range"));
    }
    static QPair<int, int> cellOf(const OleArgs& args) {
        const int row = args.value(0).toInt();
        const int column = args.value(1).toInt();
        if (args.size() != 2 || row < 1 || column < 1) {
            RaiseBadArgs(QStringLiteral("Cells needs a row and a column from 1 on"));
        }
        return {row, column};
    }
};

class CellObject final : public ExcelObject {
public:
    CellObject(std::shared_ptr<ServerDouble> server, QString path, Book book, int sheet, QPair<int, int> cell)
        : ExcelObject(std::move(server), std::move(path), QStringLiteral("Range")), m_book(std::move(book)),
          m_sheet(sheet), m_cell(cell) {}

    Book book() const { return m_book; }
    int sheet() const { return m_sheet; }
    QPair<int, int> cell() const { return m_cell; }

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        ExcelSheet& sheet = m_book->sheets[m_sheet];
        if (key.isEmpty() || key == u"value") {
            return sheet.cells.value(m_cell);
        }
        if (key == u"select") {
            excel().active = m_book;
            excel().activeSheet = m_sheet;
            excel().selectedCell = m_cell;
            return OleVariant();
        }
        if (key == u"row" || key == u"column") {
            return key == u"row" ? m_cell.first : m_cell.second;
        }
        if (key == u"end" && args.value(0).toInt() == -4162) {
            // xlUp: to the top of the block the cell and the one above it share, else to the next filled cell
            // above, else to row 1.
            auto filled = [&sheet, this](int row) {
                const OleVariant value = sheet.cells.value({row, m_cell.second});
                return !value.isEmpty() && !value.toString().isEmpty();
            };
            int row = m_cell.first;
            if (filled(row) && row > 1 && filled(row - 1)) {
                while (row > 1 && filled(row - 1)) {
                    --row;
                }
            } else {
                row = 0;
                for (auto it = sheet.cells.constBegin(); it != sheet.cells.constEnd(); ++it) {
                    if (it.key().second == m_cell.second && it.key().first < m_cell.first && filled(it.key().first)) {
                        row = std::max(row, it.key().first);
                    }
                }
                row = std::max(row, 1);
            }
            return make<CellObject>(child(name, args), m_book, m_sheet, qMakePair(row, m_cell.second));
        }
        if (key == u"hyperlinks" && !args.isEmpty()) {
            if (args.at(0).toInt() != 1 || !sheet.links.contains(m_cell)) {
                RaiseBadArgs(QStringLiteral("The cell has no such hyperlink"));
            }
            m_server->setProperty(QStringLiteral("Hyperlink"), QStringLiteral("Address"), sheet.links.value(m_cell));
            return make<BagObject>(child(name, args), QStringLiteral("Hyperlink"));
        }
        return ExcelObject::invoke(key, name, args, named, call);
    }

    void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value) override {
        if (key.isEmpty() || key == u"value") {
            m_book->sheets[m_sheet].cells.insert(m_cell, value.byValue());
            m_book->saved = false;
            return;
        }
        ExcelObject::assign(key, name, index, value);
    }

private:
    Book m_book;
    int m_sheet;
    QPair<int, int> m_cell;
};

class SheetObject final : public ExcelObject {
public:
    SheetObject(std::shared_ptr<ServerDouble> server, QString path, Book book, int sheet)
        : ExcelObject(std::move(server), std::move(path), QStringLiteral("Sheet")), m_book(std::move(book)),
          m_sheet(sheet) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        if (key == u"cells") {
            return make<CellObject>(child(name, args), m_book, m_sheet, cellOf(args));
        }
        if (key == u"name") {
            return m_book->sheets.at(m_sheet).name;
        }
        if (key == u"hyperlinks" && args.isEmpty() && !call) {
            return make<LinksObject>(child(name), m_book, m_sheet);
        }
        if (key == u"range") {
            return make<CellObject>(child(name, args), m_book, m_sheet, CellNamed(args.value(0).toString()));
        }
        if (key == u"activate") {
            excel().active = m_book;
            excel().activeSheet = m_sheet;
            return OleVariant();
        }
        return ExcelObject::invoke(key, name, args, named, call);
    }

private:
    class LinksObject final : public ExcelObject {
    public:
        LinksObject(std::shared_ptr<ServerDouble> server, QString path, Book book, int sheet)
            : ExcelObject(std::move(server), std::move(path), QStringLiteral("Hyperlinks")), m_book(std::move(book)),
              m_sheet(sheet) {}

    protected:
        OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                          bool call) override {
            ExcelSheet& sheet = m_book->sheets[m_sheet];
            if (key == u"count") {
                return int(sheet.links.size());
            }
            if (key != u"add") {
                return ExcelObject::invoke(key, name, args, named, call);
            }
            const OleVariant anchor = Arg(args, named, 0, QStringLiteral("Anchor"));
            const auto* cell = anchor.isObject() ? dynamic_cast<const CellObject*>(anchor.toObject().get()) : nullptr;
            if (!cell || cell->book() != m_book || cell->sheet() != m_sheet) {
                RaiseBadArgs(QStringLiteral("Anchor must be a cell of this sheet"));
            }
            const QString address = Arg(args, named, 1, QStringLiteral("Address")).toString();
            const OleVariant shown = Arg(args, named, 4, QStringLiteral("TextToDisplay"));
            sheet.links.insert(cell->cell(), address);
            sheet.cells.insert(cell->cell(), shown.isMissing() ? address : shown.toString());
            m_book->saved = false;
            return OleVariant();
        }

    private:
        Book m_book;
        int m_sheet;
    };

    Book m_book;
    int m_sheet;
};

class WorkbookObject final : public ExcelObject {
public:
    WorkbookObject(std::shared_ptr<ServerDouble> server, QString path, Book book)
        : ExcelObject(std::move(server), std::move(path), QStringLiteral("Workbook")), m_book(std::move(book)) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        if (key == u"saved") {
            return m_book->saved;
        }
        if (key == u"fullname") {
            return m_book->fullName;
        }
        if (key == u"name") {
            return PathFileName(m_book->fullName);
        }
        if (key == u"save") {
            m_book->saved = true;
            ++m_book->saveCount;
            excel().owner()->workbookFiles.insert(m_book->fullName, *m_book);
            return OleVariant();
        }
        if (key == u"worksheets" && !args.isEmpty()) {
            return make<SheetObject>(child(name, args), m_book, sheetIndex(*m_book, args.at(0)));
        }
        if (key == u"activate") {
            if (excel().active != m_book) {
                excel().active = m_book;
                excel().activeSheet = 0;
            }
            return OleVariant();
        }
        if (key == u"close") {
            if (Arg(args, named, 0, QStringLiteral("SaveChanges")).toBool() && !m_book->saved) {
                invoke(QStringLiteral("save"), QStringLiteral("Save"), {}, {}, true);
            }
            excel().workbooks.removeAll(m_book);
            if (excel().active == m_book) {
                excel().active = excel().workbooks.isEmpty() ? nullptr : excel().workbooks.last();
                excel().activeSheet = 0;
            }
            return OleVariant();
        }
        if (key == u"activewindow") {
            return make<BagObject>(child(name), QStringLiteral("Workbook.ActiveWindow"));
        }
        return ExcelObject::invoke(key, name, args, named, call);
    }

    void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value) override {
        if (key == u"saved") {
            m_book->saved = value.toBool();
            return;
        }
        ExcelObject::assign(key, name, index, value);
    }

private:
    Book m_book;
};

class WorkbooksObject final : public ExcelObject {
public:
    WorkbooksObject(std::shared_ptr<ServerDouble> server, QString path)
        : ExcelObject(std::move(server), std::move(path), QStringLiteral("Workbooks")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        ExcelDouble& x = excel();
        if (key == u"count") {
            return int(x.workbooks.size());
        }
        if (key == u"item") {
            const int i = args.value(0).toInt();
            if (i < 1 || i > x.workbooks.size()) {
                RaiseBadArgs(QStringLiteral("Subscript out of range"));
            }
            return make<WorkbookObject>(child(name, args), x.workbooks.at(i - 1));
        }
        if (key == u"open") {
            const QString path = Arg(args, named, 0, QStringLiteral("Filename")).toString();
            const auto file = x.owner()->workbookFiles.constFind(path);
            if (file == x.owner()->workbookFiles.constEnd()) {
                RaiseFailed(QStringLiteral("'%1' could not be found.").arg(path));
            }
            const Book book = x.addWorkbook(path, 0);
            *book = *file;
            book->fullName = path;
            book->saved = true;
            return make<WorkbookObject>(QStringLiteral("[%1]").arg(PathFileName(path)), book);
        }
        if (key == u"close") {
            x.workbooks.clear();
            x.active = nullptr;
            return OleVariant();
        }
        return ExcelObject::invoke(key, name, args, named, call);
    }
};

class ExcelApplication final : public ExcelObject {
public:
    explicit ExcelApplication(std::shared_ptr<ServerDouble> server)
        : ExcelObject(std::move(server), QString(), QStringLiteral("Application")) {}

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override {
        ExcelDouble& x = excel();
        if (key == u"workbooks") {
            return make<WorkbooksObject>(child(name));
        }
        if (key == u"activeworkbook") {
            return make<WorkbookObject>(child(name), activeWorkbook());
        }
        if (key == u"worksheets" && !args.isEmpty()) {
            const Book book = activeWorkbook();
            return make<SheetObject>(child(name, args), book, sheetIndex(*book, args.at(0)));
        }
        if (key == u"activesheet") {
            return make<SheetObject>(child(name), activeWorkbook(), x.activeSheet);
        }
        if (key == u"cells") {
            return make<CellObject>(child(name, args), activeWorkbook(), x.activeSheet, cellOf(args));
        }
        if (key == u"range") {
            return make<CellObject>(child(name, args), activeWorkbook(), x.activeSheet,
                                    CellNamed(args.value(0).toString()));
        }
        if (key == u"selection") {
            return make<CellObject>(child(name), activeWorkbook(), x.activeSheet, x.selectedCell);
        }
        if (key == u"run") {
            x.macrosRun.append(args.value(0).toString());
            return OleVariant();
        }
        if (key == u"quit") {
            m_server->quitNow();
            return OleVariant();
        }
        return ExcelObject::invoke(key, name, args, named, call);
    }
};

} // namespace

std::shared_ptr<ExcelWorkbook> ExcelDouble::addWorkbook(const QString& fullName, int sheets) {
    auto book = std::make_shared<ExcelWorkbook>();
    book->fullName = fullName;
    for (int i = 1; i <= sheets; ++i) {
        book->sheets.append({QStringLiteral("Sheet%1").arg(i), {}, {}});
    }
    workbooks.append(book);
    active = book;
    activeSheet = 0;
    return book;
}

std::shared_ptr<Dispatch> ExcelDouble::makeApplication() {
    return std::make_shared<ExcelApplication>(shared_from_this());
}

} // namespace velmora::test
