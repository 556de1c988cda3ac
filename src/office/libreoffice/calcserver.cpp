#include "loobject.h"
#include "officesession.h"
#include "servers.h"

#include "office/automation/oleserver.h"

#include <QFileInfo>
#include <QList>

#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <rtl/process.h>

#include <algorithm>

namespace velmora::lo {

using namespace css::uno;
using css::beans::PropertyValue;
using rtl::OUString;

namespace {

struct Book {
    Reference<css::frame::XModel> model;
    bool adopted = false;           // opened by the user or another program, not by this server: never closed by it
    int activeSheet = 0;            // 0-based
    QPair<int, int> selected{1, 1}; // row, column
};
using BookPtr = std::shared_ptr<Book>;

Reference<css::text::XTextRange> Up(const Reference<css::text::XTextCursor>& cursor) {
    return Reference<css::text::XTextRange>(cursor.get());
}

class ExcelCore final {
public:
    explicit ExcelCore(std::shared_ptr<OfficeSession> session) : session(std::move(session)) {}

    std::shared_ptr<OfficeSession> session;
    QString progId;
    const Dispatch* registered = nullptr;
    bool visible = false;

    QList<BookPtr> books() {
        adoptForeignBooks();
        books_.removeIf([](const BookPtr& book) {
            try {
                // A workbook the user closed in its window is gone from the desktop.
                return !book->model->getCurrentController().is();
            } catch (const css::lang::DisposedException&) {
                return true;
            }
        });
        if (active && !books_.contains(active)) {
            active = books_.isEmpty() ? nullptr : books_.last();
        }
        return books_;
    }

    BookPtr activeBook() {
        books();
        if (!active) {
            throw AutomationError(QStringLiteral("No workbook is open."));
        }
        return active;
    }

    BookPtr open(const QString& path, const QString& password, bool readOnly) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        for (const BookPtr& book : books()) {
            if (book->model->getURL() == FileUrl(absolute)) {
                active = book;
                return book;
            }
        }
        if (!QFileInfo(absolute).isFile()) {
            throw AutomationError(QStringLiteral("'%1' could not be found.").arg(path));
        }
        std::vector<PropertyValue> args{PropertyValue("Hidden", -1, Any(!visible), {}),
                                        PropertyValue("ReadOnly", -1, Any(readOnly), {})};
        if (!password.isEmpty()) {
            args.push_back(PropertyValue("Password", -1, Any(ToOU(password)), {}));
        }
        Reference<css::lang::XComponent> component;
        try {
            component = session->desktop()->loadComponentFromURL(
                FileUrl(absolute), "_blank", 0, Sequence<PropertyValue>(args.data(), sal_Int32(args.size())));
        } catch (const css::uno::RuntimeException&) {
            throw;
        } catch (const Exception&) {
            throw AutomationError(
                QStringLiteral("%1 cannot be opened: %2").arg(QFileInfo(path).fileName(), CaughtMessage()));
        }
        if (!Reference<css::sheet::XSpreadsheetDocument>(component, UNO_QUERY).is()) {
            if (const Reference<css::util::XCloseable> closeable{component, UNO_QUERY}; closeable.is()) {
                closeable->close(true);
            }
            throw AutomationError(QStringLiteral("%1 is not a workbook.").arg(QFileInfo(path).fileName()));
        }
        return track(Reference<css::frame::XModel>(component, UNO_QUERY_THROW));
    }

    BookPtr add() {
        const PropertyValue hidden("Hidden", -1, Any(!visible), {});
        const Reference<css::lang::XComponent> component = session->desktop()->loadComponentFromURL(
            "private:factory/scalc", "_blank", 0, Sequence<PropertyValue>(&hidden, 1));
        return track(Reference<css::frame::XModel>(component, UNO_QUERY_THROW));
    }

    void close(const BookPtr& book, int saveChanges) {
        if (saveChanges == -1 && Reference<css::util::XModifiable>(book->model, UNO_QUERY_THROW)->isModified()) {
            Reference<css::frame::XStorable>(book->model, UNO_QUERY_THROW)->store();
        }
        Reference<css::util::XCloseable>(book->model, UNO_QUERY_THROW)->close(true);
        books_.removeAll(book);
        books();
    }

    // Workbooks of the office that this server did not open join its list after its own, as Writer's documents do,
    // so that counting them keeps a server from quitting an office that still holds them.
    void adoptForeignBooks() {
        const Reference<css::container::XEnumeration> components =
            session->desktop()->getComponents()->createEnumeration();
        while (components->hasMoreElements()) {
            const Reference<css::frame::XModel> model(components->nextElement(), UNO_QUERY);
            if (!model.is() || !Reference<css::sheet::XSpreadsheetDocument>(model, UNO_QUERY).is()) {
                continue;
            }
            bool known = false;
            for (const BookPtr& book : books_) {
                known = known || book->model == model;
            }
            if (!known) {
                const BookPtr previous = active;
                track(model)->adopted = true;
                active = previous ? previous : active;
            }
        }
    }

    // Closes what this server opened; the office ends only when this server started it and nothing else is open
    // in it. Otherwise the office keeps running for whoever holds its other documents.
    void quit() {
        if (registered) {
            RevokeActiveObject(progId, registered);
            registered = nullptr;
        }
        for (const BookPtr& book : books()) {
            if (!book->adopted) {
                try {
                    Reference<css::util::XCloseable>(book->model, UNO_QUERY_THROW)->close(true);
                } catch (const css::uno::Exception&) {
                }
            }
        }
        if (session->owned() && !session->holdsDocuments()) {
            session->terminate();
        } else {
            session->release();
        }
    }

    void showAll(bool show) {
        for (const BookPtr& book : books()) {
            const Reference<css::frame::XController> controller = book->model->getCurrentController();
            if (controller.is() && controller->getFrame().is()) {
                controller->getFrame()->getContainerWindow()->setVisible(show);
            }
        }
    }

private:
    BookPtr track(const Reference<css::frame::XModel>& model) {
        auto book = std::make_shared<Book>();
        book->model = model;
        const Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (view.is()) {
            const OUString name = Reference<css::container::XNamed>(view->getActiveSheet(), UNO_QUERY_THROW)->getName();
            const Sequence<OUString> names =
                Reference<css::sheet::XSpreadsheetDocument>(model, UNO_QUERY_THROW)->getSheets()->getElementNames();
            for (sal_Int32 i = 0; i < names.getLength(); ++i) {
                if (names[i] == name) {
                    book->activeSheet = int(i);
                }
            }
        }
        books_.append(book);
        active = book;
        return book;
    }

    QList<BookPtr> books_;

public:
    BookPtr active;
};
using Core = std::shared_ptr<ExcelCore>;

Reference<css::container::XIndexAccess> SheetsOf(const BookPtr& book) {
    return Reference<css::container::XIndexAccess>(
        Reference<css::sheet::XSpreadsheetDocument>(book->model, UNO_QUERY_THROW)->getSheets(), UNO_QUERY_THROW);
}

// A sheet by its 1-based number or by its name, 0-based.
int SheetIndex(const BookPtr& book, const OleVariant& which) {
    const Reference<css::container::XIndexAccess> sheets = SheetsOf(book);
    if (which.kind() == OleVariant::Kind::Text) {
        for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
            const Reference<css::container::XNamed> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
            if (ToQ(sheet->getName()).compare(which.toString(), Qt::CaseInsensitive) == 0) {
                return int(i);
            }
        }
    } else {
        const int i = which.toInt() - 1;
        if (i >= 0 && i < sheets->getCount()) {
            return i;
        }
    }
    throw AutomationError(QStringLiteral("Subscript out of range"), AutomationFault::BadArguments);
}

Reference<css::sheet::XSpreadsheet> SheetAt(const BookPtr& book, int index) {
    return Reference<css::sheet::XSpreadsheet>(SheetsOf(book)->getByIndex(index), UNO_QUERY_THROW);
}

// The office's sheets hold 1048576 rows and 16384 columns, as Excel's do.
constexpr int kSheetRows = 1048576;
constexpr int kSheetColumns = 16384;

QPair<int, int> CellArgs(const Request& r) {
    const int row = r.integer(0, "RowIndex", 0);
    const int column = r.integer(1, "ColumnIndex", 0);
    if (row < 1 || column < 1 || row > kSheetRows || column > kSheetColumns) {
        throw AutomationError(QStringLiteral("Cells needs a row and a column from 1 on"),
                              AutomationFault::BadArguments);
    }
    return {row, column};
}

// "B7" as (7, 2).
QPair<int, int> CellNamed(const QString& text) {
    int column = 0;
    qsizetype i = 0;
    const QString name = text.trimmed().remove(QLatin1Char('$'));
    for (; i < name.size() && name.at(i).isLetter() && name.at(i).unicode() < 128; ++i) {
        column = column * 26 + (name.at(i).toUpper().unicode() - 'A' + 1);
    }
    bool ok = false;
    const int row = name.mid(i).toInt(&ok);
    if (column < 1 || !ok || row < 1) {
        throw AutomationError(QStringLiteral("Not a cell name: %1").arg(text), AutomationFault::BadArguments);
    }
    return {row, column};
}

// The blocks of filled cells along one column (alongRow false) or one row of a sheet, as 1-based first and last
// positions in order; cells next to each other form one block.
QList<QPair<int, int>> FilledBlocks(const Reference<css::sheet::XSpreadsheet>& sheet, int line, bool alongRow) {
    const Reference<css::table::XCellRange> range =
        alongRow ? sheet->getCellRangeByPosition(0, line - 1, kSheetColumns - 1, line - 1)
                 : sheet->getCellRangeByPosition(line - 1, 0, line - 1, kSheetRows - 1);
    using namespace css::sheet::CellFlags;
    const Reference<css::sheet::XSheetCellRanges> filled =
        Reference<css::sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)
            ->queryContentCells(sal_Int16(VALUE | DATETIME | STRING | FORMULA));
    QList<QPair<int, int>> blocks;
    for (const css::table::CellRangeAddress& address : filled->getRangeAddresses()) {
        blocks.append(alongRow ? qMakePair(int(address.StartColumn) + 1, int(address.EndColumn) + 1)
                               : qMakePair(int(address.StartRow) + 1, int(address.EndRow) + 1));
    }
    std::sort(blocks.begin(), blocks.end());
    QList<QPair<int, int>> merged;
    for (const auto& block : blocks) {
        if (!merged.isEmpty() && block.first <= merged.last().second + 1) {
            merged.last().second = std::max(merged.last().second, block.second);
        } else {
            merged.append(block);
        }
    }
    return merged;
}

// Excel's Range.End from position `from` along a line: within a block of filled cells to the block's edge,
// otherwise to the next filled cell, or to the sheet's edge when there is none.
int EndAlong(const QList<QPair<int, int>>& blocks, int from, bool forward, int edge) {
    auto blockOf = [&blocks](int at) -> const QPair<int, int>* {
        for (const auto& block : blocks) {
            if (block.first <= at && at <= block.second) {
                return &block;
            }
        }
        return nullptr;
    };
    const int next = forward ? from + 1 : from - 1;
    const QPair<int, int>* here = blockOf(from);
    if (here != nullptr && blockOf(next) == here) {
        return forward ? here->second : here->first;
    }
    if (forward) {
        for (const auto& block : blocks) {
            if (block.first > from) {
                return block.first;
            }
        }
    } else {
        for (auto it = blocks.crbegin(); it != blocks.crend(); ++it) {
            if (it->second < from) {
                return it->second;
            }
        }
    }
    return edge;
}

// The X11 window of a workbook's frame; 0 without a display.
quint64 NativeWindowOfBook(const Reference<css::frame::XModel>& model) {
    const Reference<css::frame::XController> controller = model->getCurrentController();
    if (!controller.is() || !controller->getFrame().is()) {
        return 0;
    }
    const Reference<css::awt::XSystemDependentWindowPeer> peer(controller->getFrame()->getContainerWindow(), UNO_QUERY);
    if (!peer.is()) {
        return 0;
    }
    Sequence<sal_Int8> process(16);
    rtl_getGlobalProcessId(reinterpret_cast<sal_uInt8*>(process.getArray()));
    css::awt::SystemDependentXWindow window;
    if (!(peer->getWindowHandle(process, css::lang::SystemDependent::SYSTEM_XWINDOW) >>= window)) {
        return 0;
    }
    return quint64(window.WindowHandle);
}

// The office writes links to local files relative to the workbook by default, which a moved workbook breaks; a
// link to a book on disk must keep its full path.
void KeepLinksAbsolute(const std::shared_ptr<OfficeSession>& session) {
    try {
        const Reference<css::lang::XMultiServiceFactory> provider =
            css::configuration::theDefaultProvider::get(session->context());
        const Any node(css::beans::NamedValue("nodepath", Any(OUString("/org.openoffice.Office.Common/Save/URL"))));
        const Reference<XInterface> access = provider->createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationUpdateAccess", Sequence<Any>(&node, 1));
        Reference<css::beans::XPropertySet>(access, UNO_QUERY_THROW)->setPropertyValue("FileSystem", Any(false));
        Reference<css::util::XChangesBatch>(access, UNO_QUERY_THROW)->commitChanges();
    } catch (const css::uno::Exception&) {
        throw AutomationError(QStringLiteral("LibreOffice Calc could not be set up: %1").arg(CaughtMessage()),
                              AutomationFault::NoServer);
    }
}

class ExcelObject : public LoObject {
public:
    explicit ExcelObject(Core core) : LoObject(core->session), m_core(std::move(core)) {}

protected:
    Core m_core;
};

class LinkObject final : public ExcelObject {
public:
    LinkObject(Core core, QString address) : ExcelObject(std::move(core)), m_address(std::move(address)) {}

protected:
    QString typeName() const override { return QStringLiteral("Hyperlink"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("address") || r.is("value")) {
            return m_address;
        }
        unknown(r);
    }

private:
    QString m_address;
};

class CellObject final : public ExcelObject {
public:
    CellObject(Core core, BookPtr book, int sheet, QPair<int, int> cell)
        : ExcelObject(std::move(core)), m_book(std::move(book)), m_sheet(sheet), m_cell(cell) {}

    Reference<css::table::XCell> cell() const {
        return SheetAt(m_book, m_sheet)->getCellByPosition(m_cell.second - 1, m_cell.first - 1);
    }
    const BookPtr& book() const { return m_book; }
    int sheet() const { return m_sheet; }

protected:
    QString typeName() const override { return QStringLiteral("Range"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("value") || r.is("value2")) {
            return value();
        }
        if (r.is("text")) {
            return value().toString();
        }
        if (r.is("formula")) {
            return ToQ(cell()->getFormula());
        }
        if (r.is("row") || r.is("column")) {
            return r.is("row") ? m_cell.first : m_cell.second;
        }
        if (r.is("select") || r.is("activate")) {
            m_core->active = m_book;
            m_book->activeSheet = m_sheet;
            m_book->selected = m_cell;
            return OleVariant();
        }
        if (r.is("end")) {
            return MakeObject<CellObject>(m_core, m_book, m_sheet, end(r.integer(0, "Direction", 0)));
        }
        if (r.is("hyperlinks")) {
            const QStringList links = addresses();
            if (r.args.isEmpty()) {
                fail(QStringLiteral("Range.Hyperlinks needs an index here"), AutomationFault::BadArguments);
            }
            const int i = r.integer(0, "Index", 0);
            if (i < 1 || i > links.size()) {
                fail(QStringLiteral("The cell has no hyperlink %1").arg(i), AutomationFault::BadArguments);
            }
            return MakeObject<LinkObject>(m_core, links.at(i - 1));
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        if (r.is("value") || r.is("value2") || r.is("formula")) {
            setValue(value);
            Reference<css::util::XModifiable>(m_book->model, UNO_QUERY_THROW)->setModified(true);
            return;
        }
        ExcelObject::assign(r, value);
    }

private:
    OleVariant value() const {
        const Reference<css::table::XCell> c = cell();
        switch (c->getType()) {
        case css::table::CellContentType_EMPTY:
            return OleVariant();
        case css::table::CellContentType_VALUE:
            return c->getValue();
        case css::table::CellContentType_TEXT:
            return ToQ(Reference<css::text::XText>(c, UNO_QUERY_THROW)->getString());
        default: {
            sal_Int32 resultType = 0;
            Reference<css::beans::XPropertySet>(c, UNO_QUERY_THROW)->getPropertyValue("FormulaResultType2") >>=
                resultType;
            // FormulaResult VALUE is 1; text and errors read as their text, as Excel shows them.
            if (resultType == 1) {
                return c->getValue();
            }
            return ToQ(Reference<css::text::XText>(c, UNO_QUERY_THROW)->getString());
        }
        }
    }
    void setValue(const OleVariant& value) {
        const Reference<css::table::XCell> c = cell();
        switch (value.kind()) {
        case OleVariant::Kind::Empty:
        case OleVariant::Kind::Missing:
            Reference<css::text::XText>(c, UNO_QUERY_THROW)->setString(OUString());
            return;
        case OleVariant::Kind::Bool:
            c->setFormula(value.toBool() ? OUString("=TRUE()") : OUString("=FALSE()"));
            return;
        case OleVariant::Kind::Text: {
            const QString text = value.toString();
            if (text.startsWith(QLatin1Char('='))) {
                c->setFormula(ToOU(text));
                return;
            }
            // Excel reads a number written as text as the number.
            bool number = false;
            const double parsed = text.trimmed().toDouble(&number);
            if (number && !text.trimmed().isEmpty()) {
                c->setValue(parsed);
            } else {
                Reference<css::text::XText>(c, UNO_QUERY_THROW)->setString(ToOU(text));
            }
            return;
        }
        default:
            c->setValue(value.toDouble());
            return;
        }
    }
    // Excel's xlUp, xlDown, xlToLeft and xlToRight.
    QPair<int, int> end(int direction) const {
        const Reference<css::sheet::XSpreadsheet> sheet = SheetAt(m_book, m_sheet);
        switch (direction) {
        case -4162:
        case -4121: {
            const bool down = direction == -4121;
            const int row =
                EndAlong(FilledBlocks(sheet, m_cell.second, false), m_cell.first, down, down ? kSheetRows : 1);
            return {row, m_cell.second};
        }
        case -4159:
        case -4161: {
            const bool right = direction == -4161;
            const int column =
                EndAlong(FilledBlocks(sheet, m_cell.first, true), m_cell.second, right, right ? kSheetColumns : 1);
            return {m_cell.first, column};
        }
        default:
            fail(QStringLiteral("Range.End needs xlUp, xlDown, xlToLeft or xlToRight"), AutomationFault::BadArguments);
        }
    }
    QStringList addresses() const {
        QStringList links;
        const Reference<css::text::XTextFieldsSupplier> fields(cell(), UNO_QUERY_THROW);
        const Reference<css::container::XEnumeration> all = fields->getTextFields()->createEnumeration();
        while (all->hasMoreElements()) {
            const Reference<css::beans::XPropertySet> field(all->nextElement(), UNO_QUERY);
            OUString url;
            if (field.is() && (field->getPropertyValue("URL") >>= url)) {
                links.append(LocalPath(url));
            }
        }
        return links;
    }

    BookPtr m_book;
    int m_sheet;
    QPair<int, int> m_cell;
};

class SheetLinksObject final : public ExcelObject {
public:
    SheetLinksObject(Core core, BookPtr book, int sheet)
        : ExcelObject(std::move(core)), m_book(std::move(book)), m_sheet(sheet) {}

protected:
    QString typeName() const override { return QStringLiteral("Hyperlinks"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("add")) {
            const auto anchor = r.arg(0, "Anchor");
            const auto* cell =
                anchor && anchor->isObject() ? dynamic_cast<const CellObject*>(anchor->toObject().get()) : nullptr;
            if (!cell || cell->book() != m_book || cell->sheet() != m_sheet) {
                fail(QStringLiteral("Hyperlinks.Add needs a cell of this sheet as its anchor"),
                     AutomationFault::BadArguments);
            }
            const QString address = r.text(1, "Address");
            const QString shown = r.text(4, "TextToDisplay", address);
            // A URL field that fills the cell is what the office writes as a cell hyperlink in .xlsx.
            const Reference<css::beans::XPropertySet> field(
                Reference<css::lang::XMultiServiceFactory>(m_book->model, UNO_QUERY_THROW)
                    ->createInstance("com.sun.star.text.TextField.URL"),
                UNO_QUERY_THROW);
            // A plain path is no URL to the office, which would then drop the link when it writes .xlsx.
            const bool path = QFileInfo(address).isAbsolute() && !address.contains(QStringLiteral("://"));
            field->setPropertyValue("URL", Any(path ? FileUrl(address) : ToOU(address)));
            field->setPropertyValue("Representation", Any(ToOU(shown)));
            const Reference<css::text::XText> text(cell->cell(), UNO_QUERY_THROW);
            text->setString(OUString());
            text->insertTextContent(Up(text->createTextCursor()),
                                    Reference<css::text::XTextContent>(field, UNO_QUERY_THROW), false);
            Reference<css::util::XModifiable>(m_book->model, UNO_QUERY_THROW)->setModified(true);
            return OleVariant();
        }
        if (r.is("count")) {
            const Reference<css::text::XTextFieldsSupplier> supplier(SheetAt(m_book, m_sheet), UNO_QUERY);
            int count = 0;
            if (supplier.is()) {
                const Reference<css::container::XEnumeration> all = supplier->getTextFields()->createEnumeration();
                for (; all->hasMoreElements(); all->nextElement()) {
                    ++count;
                }
            }
            return count;
        }
        unknown(r);
    }

private:
    BookPtr m_book;
    int m_sheet;
};

class SheetObject final : public ExcelObject {
public:
    SheetObject(Core core, BookPtr book, int sheet)
        : ExcelObject(std::move(core)), m_book(std::move(book)), m_sheet(sheet) {}

protected:
    QString typeName() const override { return QStringLiteral("Worksheet"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("cells")) {
            return MakeObject<CellObject>(m_core, m_book, m_sheet, CellArgs(r));
        }
        if (r.is("range")) {
            return MakeObject<CellObject>(m_core, m_book, m_sheet, CellNamed(r.text(0, "Cell1")));
        }
        if (r.is("name") || r.is("value")) {
            return ToQ(Reference<css::container::XNamed>(SheetAt(m_book, m_sheet), UNO_QUERY_THROW)->getName());
        }
        if (r.is("hyperlinks")) {
            return MakeObject<SheetLinksObject>(m_core, m_book, m_sheet);
        }
        if (r.is("activate") || r.is("select")) {
            m_core->active = m_book;
            m_book->activeSheet = m_sheet;
            return OleVariant();
        }
        unknown(r);
    }

private:
    BookPtr m_book;
    int m_sheet;
};

OleVariant SheetsMember(const Core& core, const BookPtr& book, const Request& r) {
    const auto which = r.arg(0, "Index");
    if (!which) {
        throw AutomationError(QStringLiteral("Worksheets needs a sheet number or name here"),
                              AutomationFault::BadArguments);
    }
    return MakeObject<SheetObject>(core, book, SheetIndex(book, *which));
}

// A workbook's window: only its native handle, which the document tabs embed.
class BookWindowObject final : public ExcelObject {
public:
    BookWindowObject(Core core, BookPtr book) : ExcelObject(std::move(core)), m_book(std::move(book)) {}

protected:
    QString typeName() const override { return QStringLiteral("Window"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("hwnd")) {
            // A double holds the whole 32-bit X11 id exactly, as Excel's Hwnd is read by the clients.
            return double(NativeWindowOfBook(m_book->model));
        }
        unknown(r);
    }

private:
    BookPtr m_book;
};

class WorkbookObject final : public ExcelObject {
public:
    WorkbookObject(Core core, BookPtr book) : ExcelObject(std::move(core)), m_book(std::move(book)) {}

protected:
    QString typeName() const override { return QStringLiteral("Workbook"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("saved")) {
            return !Reference<css::util::XModifiable>(m_book->model, UNO_QUERY_THROW)->isModified();
        }
        if (r.is("fullname")) {
            return m_book->model->getURL().isEmpty() ? name() : LocalPath(m_book->model->getURL());
        }
        if (r.is("name") || r.is("value")) {
            return name();
        }
        if (r.is("save")) {
            if (m_book->model->getURL().isEmpty()) {
                fail(QStringLiteral("The workbook has never been saved: it needs SaveAs."));
            }
            Reference<css::frame::XStorable>(m_book->model, UNO_QUERY_THROW)->store();
            return OleVariant();
        }
        if (r.is("worksheets") || r.is("sheets")) {
            return SheetsMember(m_core, m_book, r);
        }
        if (r.is("activesheet")) {
            return MakeObject<SheetObject>(m_core, m_book, m_book->activeSheet);
        }
        if (r.is("activate")) {
            m_core->active = m_book;
            return OleVariant();
        }
        if (r.is("activewindow")) {
            return MakeObject<BookWindowObject>(m_core, m_book);
        }
        if (r.is("close")) {
            m_core->close(m_book, r.boolean(0, "SaveChanges", false) ? -1 : 0);
            return OleVariant();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        if (r.is("saved")) {
            Reference<css::util::XModifiable>(m_book->model, UNO_QUERY_THROW)->setModified(!value.toBool());
            return;
        }
        ExcelObject::assign(r, value);
    }

private:
    QString name() const {
        const OUString url = m_book->model->getURL();
        return url.isEmpty() ? QStringLiteral("工作簿1") : QFileInfo(LocalPath(url)).fileName();
    }
    BookPtr m_book;
};

class WorkbooksObject final : public ExcelObject {
public:
    using ExcelObject::ExcelObject;

protected:
    QString typeName() const override { return QStringLiteral("Workbooks"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("count")) {
            return int(m_core->books().size());
        }
        if (r.is("item") || (r.is("value") && !r.args.isEmpty())) {
            const QList<BookPtr> books = m_core->books();
            const int i = r.integer(0, "Index", 0);
            if (i < 1 || i > books.size()) {
                fail(QStringLiteral("Subscript out of range"), AutomationFault::BadArguments);
            }
            return MakeObject<WorkbookObject>(m_core, books.at(i - 1));
        }
        if (r.is("open")) {
            const QString path = r.text(0, "Filename");
            if (path.isEmpty()) {
                fail(QStringLiteral("Workbooks.Open needs a file name"), AutomationFault::BadArguments);
            }
            return MakeObject<WorkbookObject>(
                m_core, m_core->open(path, r.text(4, "Password"), r.boolean(2, "ReadOnly", false)));
        }
        if (r.is("add")) {
            return MakeObject<WorkbookObject>(m_core, m_core->add());
        }
        if (r.is("close")) {
            // Excel asks about unsaved workbooks here; a server cannot, and the program gives up or saves first.
            // Workbooks that others opened in the same office are theirs to close.
            for (const BookPtr& book : m_core->books()) {
                if (!book->adopted) {
                    m_core->close(book, 0);
                }
            }
            return OleVariant();
        }
        unknown(r);
    }
};

class ExcelApplication final : public ExcelObject {
public:
    using ExcelObject::ExcelObject;

protected:
    QString typeName() const override { return QStringLiteral("Application"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("workbooks")) {
            return MakeObject<WorkbooksObject>(m_core);
        }
        if (r.is("activeworkbook")) {
            return MakeObject<WorkbookObject>(m_core, m_core->activeBook());
        }
        if (r.is("worksheets") || r.is("sheets")) {
            return SheetsMember(m_core, m_core->activeBook(), r);
        }
        if (r.is("activesheet")) {
            const BookPtr book = m_core->activeBook();
            return MakeObject<SheetObject>(m_core, book, book->activeSheet);
        }
        if (r.is("cells")) {
            const BookPtr book = m_core->activeBook();
            return MakeObject<CellObject>(m_core, book, book->activeSheet, CellArgs(r));
        }
        if (r.is("range")) {
            const BookPtr book = m_core->activeBook();
            return MakeObject<CellObject>(m_core, book, book->activeSheet, CellNamed(r.text(0, "Cell1")));
        }
        if (r.is("selection") || r.is("activecell")) {
            const BookPtr book = m_core->activeBook();
            return MakeObject<CellObject>(m_core, book, book->activeSheet, book->selected);
        }
        if (r.is("visible")) {
            return m_core->visible;
        }
        if (r.is("name") || r.is("value")) {
            return QStringLiteral("LibreOffice Calc");
        }
        if (r.is("run")) {
            return RunBasicMacro(m_session, r.text(0, "Macro"));
        }
        if (r.is("quit")) {
            m_core->quit();
            return OleVariant();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        if (r.is("visible")) {
            m_core->visible = value.toBool();
            m_core->showAll(m_core->visible);
            return;
        }
        ExcelObject::assign(r, value);
    }
};

} // namespace

std::shared_ptr<Dispatch> StartExcelServer(const std::shared_ptr<OfficeSession>& session, const QString& progId,
                                           bool registerAsRunning) {
    const auto core = std::make_shared<ExcelCore>(session);
    core->progId = progId;
    core->visible = false;
    std::shared_ptr<Dispatch> application = std::make_shared<ExcelApplication>(core);
    KeepLinksAbsolute(session);
    if (registerAsRunning) {
        RegisterActiveObject(progId, application);
        core->registered = application.get();
        const Dispatch* registered = application.get();
        session->setDeathHandler([progId, registered] { RevokeActiveObject(progId, registered); });
    }
    return application;
}

} // namespace velmora::lo
