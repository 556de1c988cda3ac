#include "writerserver.h"

#include <QFileInfo>

#include <com/sun/star/awt/FontSlant.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/LineSpacing.hpp>
#include <com/sun/star/style/LineSpacingMode.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XEndnotesSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/util/XReplaceable.hpp>
#include <com/sun/star/util/XSearchable.hpp>

namespace velmora::lo {

using namespace css::uno;
using rtl::OUString;

namespace {

Reference<css::beans::XPropertySet> PropsOf(const Reference<XInterface>& object) {
    return Reference<css::beans::XPropertySet>(object, UNO_QUERY_THROW);
}

// A range's text as Word gives it: a range that reaches the end of the main story holds its last paragraph mark.
QString RangeText(const Doc& doc, const Reference<css::text::XTextRange>& range) {
    const Reference<css::text::XText> body = doc->text()->getText();
    if (Reference<XInterface>(range, UNO_QUERY) == Reference<XInterface>(body, UNO_QUERY)) {
        return DocumentText(doc);
    }
    QString text = WordText(range);
    try {
        const Reference<css::text::XTextRangeCompare> compare(body, UNO_QUERY_THROW);
        const bool collapsed = compare->compareRegionStarts(range->getStart(), range->getEnd()) == 0;
        if (!collapsed && compare->compareRegionEnds(range, body->getEnd()) == 0) {
            text += QLatin1Char('\r');
        }
    } catch (const css::lang::IllegalArgumentException&) {
        // A range in a table cell, a frame or a note is not part of the main story.
    }
    return text;
}

// Word's "\r" paragraph marks become the office's paragraph breaks.
OUString OfficeText(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return ToOU(text);
}

using SelObject = DocBoundObject;

class InlineShapesObject final : public SelObject {
public:
    InlineShapesObject(std::shared_ptr<WordCore> core, Doc doc, Reference<css::text::XTextRange> range)
        : SelObject(std::move(core), std::move(doc)), m_range(std::move(range)) {}

protected:
    QString typeName() const override { return QStringLiteral("InlineShapes"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("count")) {
            return CountAnchored(m_doc->model, true);
        }
        if (r.is("addpicture")) {
            addPicture(r);
            return OleVariant();
        }
        unknown(r);
    }

private:
    void addPicture(const Request& r) {
        const QString path = r.text(0, "FileName");
        if (!QFileInfo(path).isFile()) {
            fail(QStringLiteral("The file %1 does not exist.").arg(path));
        }
        if (r.boolean(1, "LinkToFile", false)) {
            fail(QStringLiteral("Pictures can only be embedded, not linked, in this office."));
        }
        const Reference<css::graphic::XGraphicProvider> provider =
            css::graphic::GraphicProvider::create(m_session->context());
        const css::beans::PropertyValue url("URL", -1, Any(FileUrl(path)), css::beans::PropertyState_DIRECT_VALUE);
        const Reference<css::graphic::XGraphic> graphic =
            provider->queryGraphic(Sequence<css::beans::PropertyValue>(&url, 1));
        if (!graphic.is()) {
            fail(QStringLiteral("%1 is not a picture the office can read.").arg(path));
        }
        const Reference<css::beans::XPropertySet> picture(
            Reference<css::lang::XMultiServiceFactory>(m_doc->model, UNO_QUERY_THROW)
                ->createInstance("com.sun.star.text.TextGraphicObject"),
            UNO_QUERY_THROW);
        picture->setPropertyValue("Graphic", Any(graphic));
        picture->setPropertyValue("AnchorType", Any(css::text::TextContentAnchorType_AS_CHARACTER));
        // Pictures that know only their pixels are sized as a 96 dpi screen shows them, as Word does.
        css::awt::Size size;
        const Reference<css::beans::XPropertySet> described(graphic, UNO_QUERY);
        if (described.is()) {
            described->getPropertyValue("Size100thMM") >>= size;
            if (size.Width == 0 || size.Height == 0) {
                css::awt::Size pixels;
                described->getPropertyValue("SizePixel") >>= pixels;
                size = css::awt::Size(pixels.Width * 2540 / 96, pixels.Height * 2540 / 96);
            }
        }
        if (size.Width > 0 && size.Height > 0) {
            picture->setPropertyValue("Size", Any(size));
        }
        m_range->getText()->insertTextContent(m_range, Reference<css::text::XTextContent>(picture, UNO_QUERY_THROW),
                                              false);
    }
    Reference<css::text::XTextRange> m_range;
};

class RangeObject final : public SelObject {
public:
    RangeObject(std::shared_ptr<WordCore> core, Doc doc, Reference<css::text::XTextRange> range)
        : SelObject(std::move(core), std::move(doc)), m_range(std::move(range)) {}
    const Reference<css::text::XTextRange>& range() const { return m_range; }

protected:
    QString typeName() const override { return QStringLiteral("Range"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("text") || r.is("value")) {
            return RangeText(m_doc, m_range);
        }
        if (r.is("delete")) {
            m_range->setString(OUString());
            return OleVariant();
        }
        if (r.is("inlineshapes")) {
            return MakeObject<InlineShapesObject>(m_core, m_doc, m_range);
        }
        if (r.is("find")) {
            return MakeWordFind(m_core, m_doc, m_range);
        }
        if (r.is("select")) {
            m_doc->viewCursor()->gotoRange(m_range, false);
            return OleVariant();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        if (r.is("text")) {
            m_range->setString(OfficeText(value.toString()));
            return;
        }
        SelObject::assign(r, value);
    }

private:
    Reference<css::text::XTextRange> m_range;
};

class ReplacementObject final : public SelObject {
public:
    ReplacementObject(std::shared_ptr<WordCore> core, Doc doc, std::shared_ptr<FindState> state)
        : SelObject(std::move(core), std::move(doc)), m_state(std::move(state)) {}

protected:
    QString typeName() const override { return QStringLiteral("Replacement"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("text")) {
            return m_state->replacement;
        }
        if (r.is("clearformatting")) {
            // Searches here never carry formatting, so there is none to clear.
            return OleVariant();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        if (r.is("text")) {
            m_state->replacement = value.toString();
            return;
        }
        SelObject::assign(r, value);
    }

private:
    std::shared_ptr<FindState> m_state;
};

class FindObject final : public SelObject {
public:
    FindObject(std::shared_ptr<WordCore> core, Doc doc, Reference<css::text::XTextRange> scope,
               std::shared_ptr<FindState> state)
        : SelObject(std::move(core), std::move(doc)), m_scope(std::move(scope)), m_state(std::move(state)) {}

protected:
    QString typeName() const override { return QStringLiteral("Find"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        if (r.is("text")) {
            return m_state->text;
        }
        if (r.is("replacement")) {
            return MakeObject<ReplacementObject>(m_core, m_doc, m_state);
        }
        if (r.is("matchcase")) {
            return m_state->matchCase;
        }
        if (r.is("matchwholeword")) {
            return m_state->wholeWord;
        }
        if (r.is("forward")) {
            return m_state->forward;
        }
        if (r.is("clearformatting")) {
            return OleVariant();
        }
        if (r.is("execute")) {
            return execute(r);
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        if (r.is("text")) {
            m_state->text = value.toString();
        } else if (r.is("matchcase")) {
            m_state->matchCase = value.toBool();
        } else if (r.is("matchwholeword")) {
            m_state->wholeWord = value.toBool();
        } else if (r.is("forward")) {
            m_state->forward = value.toBool();
        } else {
            SelObject::assign(r, value);
        }
    }

private:
    bool execute(const Request& r) {
        FindState& s = *m_state;
        s.text = r.text(0, "FindText", s.text);
        s.matchCase = r.boolean(1, "MatchCase", s.matchCase);
        s.wholeWord = r.boolean(2, "MatchWholeWord", s.wholeWord);
        if (r.boolean(3, "MatchWildcards", false)) {
            fail(QStringLiteral("Word's wildcard searches are not supported by this office."));
        }
        s.forward = r.boolean(6, "Forward", s.forward);
        s.replacement = r.text(9, "ReplaceWith", s.replacement);
        const int replace = r.integer(10, "Replace", 0);
        if (s.text.isEmpty()) {
            return false;
        }
        const Reference<css::util::XReplaceable> replaceable(m_doc->model, UNO_QUERY_THROW);
        const Reference<css::util::XReplaceDescriptor> descriptor = replaceable->createReplaceDescriptor();
        descriptor->setSearchString(ToOU(s.text));
        descriptor->setReplaceString(OfficeText(s.replacement));
        descriptor->setPropertyValue("SearchCaseSensitive", Any(s.matchCase));
        descriptor->setPropertyValue("SearchWords", Any(s.wholeWord));
        descriptor->setPropertyValue("SearchBackwards", Any(!s.forward));
        if (replace == 2) {
            return replaceable->replaceAll(Up<css::util::XSearchDescriptor>(descriptor)) > 0;
        }
        const Reference<css::text::XTextViewCursor> cursor = m_scope.is() ? nullptr : m_doc->viewCursor();
        const Reference<css::text::XTextRange> from =
            m_scope.is() ? m_scope->getStart() : (s.forward ? cursor->getEnd() : cursor->getStart());
        const Reference<css::text::XTextRange> found(
            replaceable->findNext(from, Up<css::util::XSearchDescriptor>(descriptor)), UNO_QUERY);
        if (!found.is()) {
            return false;
        }
        if (replace == 1) {
            found->setString(OfficeText(s.replacement));
        }
        if (cursor.is()) {
            cursor->gotoRange(found->getStart(), false);
            cursor->gotoRange(found->getEnd(), true);
        }
        return true;
    }

    Reference<css::text::XTextRange> m_scope; // empty for the selection's Find
    std::shared_ptr<FindState> m_state;
};

class FontObject final : public SelObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("Font"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        const Reference<css::beans::XPropertySet> p = PropsOf(m_doc->viewCursor());
        if (r.is("name")) {
            const OUString asian = p->getPropertyValue("CharFontNameAsian").get<OUString>();
            return ToQ(asian.isEmpty() ? p->getPropertyValue("CharFontName").get<OUString>() : asian);
        }
        if (r.is("size")) {
            return double(p->getPropertyValue("CharHeight").get<float>());
        }
        if (r.is("bold")) {
            return p->getPropertyValue("CharWeight").get<float>() > 100.f;
        }
        if (r.is("italic")) {
            return p->getPropertyValue("CharPosture").get<css::awt::FontSlant>() != css::awt::FontSlant_NONE;
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        const Reference<css::beans::XPropertySet> p = PropsOf(m_doc->viewCursor());
        // Chinese text takes the Asian font and size, Latin text the Western ones: Word's Font sets all of them.
        const auto setAll = [&](const char* name, const Any& v) {
            for (const char* suffix : {"", "Asian", "Complex"}) {
                p->setPropertyValue(OUString::createFromAscii(name) + OUString::createFromAscii(suffix), v);
            }
        };
        if (r.is("name")) {
            setAll("CharFontName", Any(ToOU(value.toString())));
        } else if (r.is("size")) {
            setAll("CharHeight", Any(float(value.toDouble())));
        } else if (r.is("bold")) {
            setAll("CharWeight", Any(value.toBool() ? 150.f : 100.f));
        } else if (r.is("italic")) {
            setAll("CharPosture", Any(value.toBool() ? css::awt::FontSlant_ITALIC : css::awt::FontSlant_NONE));
        } else {
            SelObject::assign(r, value);
        }
    }
};

class ParagraphFormatObject final : public SelObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("ParagraphFormat"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        const Reference<css::beans::XPropertySet> p = PropsOf(m_doc->viewCursor());
        if (r.is("alignment")) {
            const sal_Int16 adjust = p->getPropertyValue("ParaAdjust").get<sal_Int16>();
            const sal_Int16 last = p->getPropertyValue("ParaLastLineAdjust").get<sal_Int16>();
            switch (css::style::ParagraphAdjust(adjust)) {
            case css::style::ParagraphAdjust_CENTER:
                return 1;
            case css::style::ParagraphAdjust_RIGHT:
                return 2;
            case css::style::ParagraphAdjust_BLOCK:
            case css::style::ParagraphAdjust_STRETCH:
                return last == css::style::ParagraphAdjust_BLOCK ? 4 : 3;
            default:
                return 0;
            }
        }
        if (r.is("spacebefore") || r.is("spaceafter")) {
            return HmmToPoints(
                p->getPropertyValue(r.is("spacebefore") ? OUString("ParaTopMargin") : OUString("ParaBottomMargin"))
                    .get<sal_Int32>());
        }
        if (r.is("spacebeforeauto") || r.is("spaceafterauto")) {
            return false;
        }
        if (r.is("linespacingrule")) {
            const css::style::LineSpacing spacing = lineSpacing(p);
            switch (spacing.Mode) {
            case css::style::LineSpacingMode::FIX:
                return 4;
            case css::style::LineSpacingMode::MINIMUM:
                return 3;
            default:
                return spacing.Height == 100 ? 0 : spacing.Height == 150 ? 1 : spacing.Height == 200 ? 2 : 5;
            }
        }
        if (r.is("linespacing")) {
            const css::style::LineSpacing spacing = lineSpacing(p);
            return spacing.Mode == css::style::LineSpacingMode::PROP ? spacing.Height * 12.0 / 100.0
                                                                     : HmmToPoints(spacing.Height);
        }
        if (r.is("firstlineindent")) {
            return HmmToPoints(p->getPropertyValue("ParaFirstLineIndent").get<sal_Int32>());
        }
        if (r.is("leftindent") || r.is("rightindent")) {
            return HmmToPoints(
                p->getPropertyValue(r.is("leftindent") ? OUString("ParaLeftMargin") : OUString("ParaRightMargin"))
                    .get<sal_Int32>());
        }
        if (r.is("wordwrap")) {
            return true;
        }
        unknown(r);
    }

    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        const Reference<css::beans::XPropertySet> p = PropsOf(m_doc->viewCursor());
        if (r.is("alignment")) {
            setAlignment(p, value.toInt());
        } else if (r.is("spacebefore")) {
            p->setPropertyValue("ParaTopMargin", Any(PointsToHmm(value.toDouble())));
        } else if (r.is("spaceafter")) {
            p->setPropertyValue("ParaBottomMargin", Any(PointsToHmm(value.toDouble())));
        } else if (r.is("spacebeforeauto") || r.is("spaceafterauto")) {
            // Word's automatic spacing is the spacing of web pages; the office has none, so it is always off.
            if (value.toBool()) {
                fail(QStringLiteral("Automatic paragraph spacing is not supported by this office."));
            }
        } else if (r.is("linespacingrule")) {
            setRule(p, value.toInt());
        } else if (r.is("linespacing")) {
            css::style::LineSpacing spacing = lineSpacing(p);
            spacing.Height = spacing.Mode == css::style::LineSpacingMode::PROP
                                 ? sal_Int16(qRound(value.toDouble() * 100.0 / 12.0))
                                 : sal_Int16(PointsToHmm(value.toDouble()));
            p->setPropertyValue("ParaLineSpacing", Any(spacing));
        } else if (r.is("firstlineindent")) {
            p->setPropertyValue("ParaFirstLineIndent", Any(PointsToHmm(value.toDouble())));
        } else if (r.is("characterunitfirstlineindent")) {
            // The office measures indents in length only: characters are taken at the current font size.
            p->setPropertyValue("ParaFirstLineIndent", Any(PointsToHmm(value.toDouble() * fontPoints(p))));
        } else if (r.is("lineunitafter") || r.is("lineunitbefore")) {
            // Lines are taken at the paragraph's line height.
            p->setPropertyValue(r.is("lineunitafter") ? OUString("ParaBottomMargin") : OUString("ParaTopMargin"),
                                Any(PointsToHmm(value.toDouble() * linePoints(p))));
        } else if (r.is("leftindent")) {
            p->setPropertyValue("ParaLeftMargin", Any(PointsToHmm(value.toDouble())));
        } else if (r.is("rightindent")) {
            p->setPropertyValue("ParaRightMargin", Any(PointsToHmm(value.toDouble())));
        } else if (r.is("wordwrap")) {
            // The office always wraps Latin words whole, which is Word's WordWrap on.
            if (!value.toBool()) {
                fail(QStringLiteral("Breaking Latin words at the line end is not supported by this office."));
            }
        } else {
            SelObject::assign(r, value);
        }
    }

private:
    static css::style::LineSpacing lineSpacing(const Reference<css::beans::XPropertySet>& p) {
        css::style::LineSpacing spacing;
        p->getPropertyValue("ParaLineSpacing") >>= spacing;
        return spacing;
    }
    static double fontPoints(const Reference<css::beans::XPropertySet>& p) {
        float size = 0;
        p->getPropertyValue("CharHeightAsian") >>= size;
        return size > 0 ? size : 10.5;
    }
    static double linePoints(const Reference<css::beans::XPropertySet>& p) {
        const css::style::LineSpacing spacing = lineSpacing(p);
        if (spacing.Mode == css::style::LineSpacingMode::FIX || spacing.Mode == css::style::LineSpacingMode::MINIMUM) {
            return HmmToPoints(spacing.Height);
        }
        return fontPoints(p) * 1.2 * (spacing.Mode == css::style::LineSpacingMode::PROP ? spacing.Height / 100.0 : 1);
    }
    static void setRule(const Reference<css::beans::XPropertySet>& p, int rule) {
        css::style::LineSpacing spacing = lineSpacing(p);
        const bool wasLength = spacing.Mode != css::style::LineSpacingMode::PROP;
        // A length rule keeps the length already set, or starts from Word's single line of 12 points.
        const sal_Int16 length = wasLength ? spacing.Height : sal_Int16(PointsToHmm(12));
        switch (rule) {
        case 0:
        case 1:
        case 2:
            spacing = css::style::LineSpacing(css::style::LineSpacingMode::PROP, sal_Int16(100 + 50 * rule));
            break;
        case 3:
            spacing = css::style::LineSpacing(css::style::LineSpacingMode::MINIMUM, length);
            break;
        case 4:
            spacing = css::style::LineSpacing(css::style::LineSpacingMode::FIX, length);
            break;
        case 5:
            spacing.Mode = css::style::LineSpacingMode::PROP;
            spacing.Height = wasLength ? 100 : spacing.Height;
            break;
        default:
            fail(QStringLiteral("Invalid line spacing rule %1").arg(rule), AutomationFault::BadArguments);
        }
        p->setPropertyValue("ParaLineSpacing", Any(spacing));
    }
    static void setAlignment(const Reference<css::beans::XPropertySet>& p, int alignment) {
        // Word's kashida and Thai justifications are justification to the office.
        css::style::ParagraphAdjust adjust = css::style::ParagraphAdjust_BLOCK;
        css::style::ParagraphAdjust last = css::style::ParagraphAdjust_LEFT;
        switch (alignment) {
        case 0:
            adjust = css::style::ParagraphAdjust_LEFT;
            break;
        case 1:
            adjust = css::style::ParagraphAdjust_CENTER;
            break;
        case 2:
            adjust = css::style::ParagraphAdjust_RIGHT;
            break;
        case 3:
        case 5:
        case 7:
        case 8:
        case 9:
            break;
        case 4:
            last = css::style::ParagraphAdjust_BLOCK;
            break;
        default:
            fail(QStringLiteral("Invalid alignment %1").arg(alignment), AutomationFault::BadArguments);
        }
        p->setPropertyValue("ParaAdjust", Any(sal_Int16(adjust)));
        p->setPropertyValue("ParaLastLineAdjust", Any(sal_Int16(last)));
    }
};

class SelectionObject final : public SelObject {
public:
    using DocBoundObject::DocBoundObject;

protected:
    QString typeName() const override { return QStringLiteral("Selection"); }
    OleVariant invoke(const Request& r) override {
        checkOpen();
        const Reference<css::text::XTextViewCursor> cursor = m_doc->viewCursor();
        if (r.is("text") || r.is("value")) {
            return RangeText(m_doc, Up<css::text::XTextRange>(cursor));
        }
        if (r.is("range")) {
            return MakeWordRange(m_core, m_doc,
                                 Up<css::text::XTextRange>(
                                     cursor->getText()->createTextCursorByRange(Up<css::text::XTextRange>(cursor))));
        }
        if (r.is("find")) {
            return MakeWordFind(m_core, m_doc, nullptr);
        }
        if (r.is("font")) {
            return MakeObject<FontObject>(m_core, m_doc);
        }
        if (r.is("paragraphformat")) {
            return MakeObject<ParagraphFormatObject>(m_core, m_doc);
        }
        if (r.is("inlineshapes")) {
            return MakeObject<InlineShapesObject>(m_core, m_doc,
                                                  Up<css::text::XTextRange>(cursor->getText()->createTextCursorByRange(
                                                      Up<css::text::XTextRange>(cursor))));
        }
        if (r.is("information")) {
            return information(r.integer(0, "Type", -1));
        }
        if (r.is("wholestory")) {
            cursor->gotoStart(false);
            cursor->gotoEnd(true);
            return OleVariant();
        }
        if (r.is("endkey") || r.is("homekey")) {
            if (r.integer(0, "Unit", 6) != 6) {
                fail(QStringLiteral("Only the whole story (unit 6) is supported by %1").arg(r.name),
                     AutomationFault::BadArguments);
            }
            const bool extend = r.integer(1, "Extend", 0) != 0;
            if (r.is("endkey")) {
                cursor->gotoEnd(extend);
            } else {
                cursor->gotoStart(extend);
            }
            return OleVariant();
        }
        if (r.is("collapse")) {
            if (r.integer(0, "Direction", 1) == 1) {
                cursor->collapseToStart();
            } else {
                cursor->collapseToEnd();
            }
            return OleVariant();
        }
        if (r.is("typeparagraph")) {
            cursor->setString(OUString());
            cursor->getText()->insertControlCharacter(Up<css::text::XTextRange>(cursor),
                                                      css::text::ControlCharacter::PARAGRAPH_BREAK, false);
            cursor->collapseToEnd();
            return OleVariant();
        }
        if (r.is("typetext")) {
            cursor->setString(OfficeText(r.text(0, "Text")));
            cursor->collapseToEnd();
            return OleVariant();
        }
        if (r.is("insertfile")) {
            insertFile(cursor, r);
            return OleVariant();
        }
        if (r.is("copy")) {
            const Reference<css::frame::XDispatchProvider> frame(m_doc->model->getCurrentController()->getFrame(),
                                                                 UNO_QUERY_THROW);
            css::frame::DispatchHelper::create(m_session->context())
                ->executeDispatch(frame, ".uno:Copy", "", 0, Sequence<css::beans::PropertyValue>());
            return OleVariant();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        checkOpen();
        if (r.is("text")) {
            m_doc->viewCursor()->setString(OfficeText(value.toString()));
            return;
        }
        SelObject::assign(r, value);
    }

private:
    OleVariant information(int type) {
        const Reference<css::beans::XPropertySet> view(m_doc->model->getCurrentController(), UNO_QUERY_THROW);
        switch (type) {
        case 4: // pages in the document
            return bodyPages(view);
        case 1: // page of the selection's end, as numbered and as counted
        case 3:
            return int(Reference<css::text::XPageCursor>(m_doc->viewCursor(), UNO_QUERY_THROW)->getPage());
        default:
            fail(QStringLiteral("Information(%1) is not supported").arg(type), AutomationFault::BadArguments);
        }
    }

    // The office lays endnotes out on a page of their own after the body, which Word does not print as a page of
    // its own: then the pages are those up to the body's end. The selection is put back where it was.
    int bodyPages(const Reference<css::beans::XPropertySet>& view) {
        const int pages = FromAny(view->getPropertyValue("PageCount")).toInt();
        if (Reference<css::text::XEndnotesSupplier>(m_doc->model, UNO_QUERY_THROW)->getEndnotes()->getCount() == 0) {
            return pages;
        }
        const Reference<css::text::XTextViewCursor> cursor = m_doc->viewCursor();
        const Reference<css::text::XTextRange> start = cursor->getStart();
        const Reference<css::text::XTextRange> end = cursor->getEnd();
        cursor->gotoRange(m_doc->text()->getText()->getEnd(), false);
        const int bodyEnd = int(Reference<css::text::XPageCursor>(cursor, UNO_QUERY_THROW)->getPage());
        cursor->gotoRange(start, false);
        cursor->gotoRange(end, true);
        return bodyEnd > 0 ? qMin(bodyEnd, pages) : pages;
    }

    void insertFile(const Reference<css::text::XTextViewCursor>& cursor, const Request& r) {
        const QString path = r.text(0, "FileName");
        if (!QFileInfo(path).isFile()) {
            fail(QStringLiteral("The file %1 does not exist.").arg(path));
        }
        if (!r.text(1, "Range").isEmpty() || r.boolean(3, "Link", false) || r.boolean(4, "Attachment", false)) {
            fail(QStringLiteral("InsertFile inserts a whole file, neither linked nor attached, in this office."),
                 AutomationFault::BadArguments);
        }
        cursor->setString(OUString());
        // The inserted text follows the insertion point, which then stands after it, so that files inserted one
        // after another keep their order.
        const Reference<css::text::XTextCursor> at = cursor->getText()->createTextCursorByRange(cursor->getStart());
        const Reference<css::text::XTextCursor> mark = cursor->getText()->createTextCursorByRange(cursor->getStart());
        const bool atEnd = !mark->goRight(1, false);
        Reference<css::document::XDocumentInsertable>(at, UNO_QUERY_THROW)->insertDocumentFromURL(FileUrl(path), {});
        if (atEnd) {
            cursor->gotoEnd(false);
        } else {
            mark->goLeft(1, false);
            cursor->gotoRange(Up<css::text::XTextRange>(mark), false);
        }
    }
};

} // namespace

OleVariant MakeWordRange(const std::shared_ptr<WordCore>& core, const Doc& doc,
                         const Reference<css::text::XTextRange>& range) {
    return MakeObject<RangeObject>(core, doc, range);
}

OleVariant MakeWordSelection(const std::shared_ptr<WordCore>& core, const Doc& doc) {
    return MakeObject<SelectionObject>(core, doc);
}

OleVariant MakeWordFind(const std::shared_ptr<WordCore>& core, const Doc& doc,
                        const Reference<css::text::XTextRange>& scope) {
    // The selection's Find keeps its settings in the application, as Word's does; a range's Find starts afresh.
    return MakeObject<FindObject>(core, doc, scope, scope.is() ? std::make_shared<FindState>() : core->findState());
}

Reference<css::text::XTextRange> RangeOf(const OleVariant& value) {
    const auto* range = dynamic_cast<const RangeObject*>(value.toObject().get());
    if (!range) {
        throw AutomationError(QStringLiteral("A Range of this document is expected"), AutomationFault::TypeMismatch);
    }
    return range->range();
}

} // namespace velmora::lo
