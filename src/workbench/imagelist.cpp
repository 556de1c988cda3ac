#include "imagelist.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <cmath>

namespace velmora {

namespace {

constexpr int kSize = 18;

// One palette for every picture so that they read as one set.
const QColor kInk(0x3b, 0x4a, 0x5a);
const QColor kBlue(0x2f, 0x7d, 0xd1);
const QColor kGreen(0x3c, 0x9d, 0x5d);
const QColor kAmber(0xf0, 0xa8, 0x1c);
const QColor kPaper(0xfb, 0xfc, 0xfd);
const QColor kRed(0xd2, 0x4b, 0x3e);
const QColor kGrey(0xb7, 0xc0, 0xc8);

QPolygonF starShape(QPointF centre, double outer, double inner) {
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? outer : inner;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        star << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return star;
}

void drawTag(QPainter& p, const QColor& fill) {
    QPainterPath tag;
    tag.moveTo(2.5, 3.5);
    tag.lineTo(9.5, 3.5);
    tag.lineTo(15.5, 9.5);
    tag.lineTo(9.5, 15.5);
    tag.lineTo(2.5, 8.5);
    tag.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(fill);
    p.drawPath(tag);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(6, 7), 1.5, 1.5);
}

void drawDocument(QPainter& p, const QColor& accent) {
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(11.5, 1.5);
    page.lineTo(14.5, 4.5);
    page.lineTo(14.5, 16.5);
    page.lineTo(3.5, 16.5);
    page.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.setPen(QPen(accent, 1.2));
    for (double y : {6.5, 9.0, 11.5, 14.0}) {
        p.drawLine(QPointF(5.5, y), QPointF(12.5, y));
    }
}

void drawFolder(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kAmber);
    QPainterPath folder;
    folder.moveTo(1.5, 4.5);
    folder.lineTo(6.5, 4.5);
    folder.lineTo(8.0, 6.0);
    folder.lineTo(16.5, 6.0);
    folder.lineTo(16.5, 14.5);
    folder.lineTo(1.5, 14.5);
    folder.closeSubpath();
    p.drawPath(folder);
}

void drawCalendar(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(2.5, 3.5, 13, 12));
    p.setBrush(kRed);
    p.drawRect(QRectF(2.5, 3.5, 13, 3.5));
    p.setPen(QPen(kInk, 1.2));
    for (double x : {6.0, 9.0, 12.0}) {
        p.drawPoint(QPointF(x, 10));
        p.drawPoint(QPointF(x, 13));
    }
}

void drawFunnel(QPainter& p) {
    QPolygonF funnel;
    funnel << QPointF(2, 3) << QPointF(16, 3) << QPointF(10.5, 9.5) << QPointF(10.5, 15.5) << QPointF(7.5, 13.5)
           << QPointF(7.5, 9.5);
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    p.drawPolygon(funnel);
}

void drawLock(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 2.5, 8, 9), 0, 180 * 16);
    p.setPen(QPen(kInk, 1));
    p.setBrush(kAmber);
    p.drawRoundedRect(QRectF(3.5, 8, 11, 8), 1.5, 1.5);
}

void drawList(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(2.5, 2.5, 13, 13), 2, 2);
    p.setPen(QPen(kBlue, 1.5));
    for (double y : {6.0, 9.0, 12.0}) {
        p.drawLine(QPointF(5, y), QPointF(13, y));
    }
}

void drawArrow(QPainter& p, bool up) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    QPolygonF arrow;
    if (up) {
        arrow << QPointF(9, 2) << QPointF(15, 9) << QPointF(11, 9) << QPointF(11, 16) << QPointF(7, 16) << QPointF(7, 9)
              << QPointF(3, 9);
    } else {
        arrow << QPointF(9, 16) << QPointF(15, 9) << QPointF(11, 9) << QPointF(11, 2) << QPointF(7, 2) << QPointF(7, 9)
              << QPointF(3, 9);
    }
    p.drawPolygon(arrow);
}

void drawSortMenu(QPainter& p) {
    p.setPen(QPen(kInk, 1.6));
    p.drawLine(QPointF(3, 5), QPointF(15, 5));
    p.drawLine(QPointF(3, 9), QPointF(12, 9));
    p.drawLine(QPointF(3, 13), QPointF(9, 13));
}

void drawStar(QPainter& p, bool lit) {
    p.setPen(QPen(lit ? QColor(0xc2, 0x7c, 0x0e) : kGrey, 1));
    p.setBrush(lit ? kAmber : kPaper);
    p.drawPolygon(starShape(QPointF(9, 9.5), 8, 3.4));
}

void drawPlus(QPainter& p, QPointF at) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(at, 4, 4);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawLine(at + QPointF(-2, 0), at + QPointF(2, 0));
    p.drawLine(at + QPointF(0, -2), at + QPointF(0, 2));
}

void drawMinus(QPainter& p, QPointF at) {
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(at, 4, 4);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawLine(at + QPointF(-2, 0), at + QPointF(2, 0));
}

// A small arrow pointing right, into what it is drawn beside.
void drawRightArrow(QPainter& p, QPointF at, const QColor& fill) {
    QPolygonF arrow;
    arrow << at + QPointF(-4.5, -1.5) << at + QPointF(0, -1.5) << at + QPointF(0, -4) << at + QPointF(4.5, 0)
          << at + QPointF(0, 4) << at + QPointF(0, 1.5) << at + QPointF(-4.5, 1.5);
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(fill);
    p.drawPolygon(arrow);
}

void drawDisk(QPainter& p, bool several) {
    auto disk = [&p](QPointF at) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(at.x(), at.y(), 12, 12), 1.5, 1.5);
        p.setBrush(kPaper);
        p.drawRect(QRectF(at.x() + 3, at.y() + 1, 6, 4));
        p.drawRect(QRectF(at.x() + 2.5, at.y() + 7.5, 7, 4.5));
    };
    if (several) {
        disk(QPointF(4.5, 1.5));
    }
    disk(several ? QPointF(1.5, 4.5) : QPointF(3, 3));
}

void drawInfo(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(9, 9), 7.5, 7.5);
    p.setPen(QPen(Qt::white, 2));
    p.drawPoint(QPointF(9, 5.5));
    p.drawLine(QPointF(9, 8.5), QPointF(9, 13.5));
}

void drawHelp(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(9, 9), 7.5, 7.5);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("?"));
}

void drawEmbed(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(1.5, 3.5, 15, 12));
    p.setBrush(kBlue);
    p.drawRect(QRectF(1.5, 3.5, 15, 3));
    p.setBrush(kGrey);
    p.drawRect(QRectF(6.5, 8.5, 8, 5));
}

void drawGear(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kGrey);
    p.save();
    p.translate(9, 9);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.5, -8, 3, 4));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5.5, 5.5);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(0, 0), 2, 2);
    p.restore();
}

void drawMacro(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kAmber);
    QPolygonF bolt;
    bolt << QPointF(10, 1.5) << QPointF(4, 10) << QPointF(8.5, 10) << QPointF(7, 16.5) << QPointF(14, 7.5)
         << QPointF(9.5, 7.5);
    p.drawPolygon(bolt);
}

void drawTable(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(2.5, 2.5, 13, 13));
    p.setPen(QPen(kGreen, 1));
    for (double v : {6.5, 10.5}) {
        p.drawLine(QPointF(2.5, v), QPointF(15.5, v));
        p.drawLine(QPointF(v, 2.5), QPointF(v, 15.5));
    }
}

void drawMenu(QPainter& p) {
    p.setPen(QPen(kInk, 2));
    for (double y : {5.0, 9.0, 13.0}) {
        p.drawLine(QPointF(3, y), QPointF(15, y));
    }
}

void drawSearch(QPainter& p) {
    p.setPen(QPen(kInk, 1.6));
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(7.5, 7.5), 4.5, 4.5);
    p.setPen(QPen(kInk, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(15.5, 15.5));
}

void drawProgram(QPainter& p) {
    drawDocument(p, kBlue);
    p.save();
    p.translate(4, 5);
    p.scale(0.7, 0.7);
    drawTag(p, kAmber);
    p.restore();
}

using Painter = void (*)(QPainter&);

QIcon render(Painter paint) {
    QPixmap pixmap(kSize * 2, kSize * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return QIcon(pixmap);
}

} // namespace

QIcon AppImage(int index) {
    static QHash<int, QIcon> cache;
    if (const auto found = cache.constFind(index); found != cache.cend()) {
        return *found;
    }
    Painter paint = nullptr;
    switch (index) {
    case 1:
        paint = [](QPainter& p) { drawTag(p, kBlue); };
        break;
    case 2:
        paint = [](QPainter& p) { drawDocument(p, kBlue); };
        break;
    case 3:
        paint = [](QPainter& p) { drawTag(p, kGreen); };
        break;
    case 4:
        paint = drawFunnel;
        break;
    case 5:
        paint = drawCalendar;
        break;
    case 6:
        paint = [](QPainter& p) { drawStar(p, true); };
        break;
    case 7:
        paint = drawSortMenu;
        break;
    case 8:
        paint = drawSearch;
        break;
    case 12:
        paint = drawList;
        break;
    case 13:
        paint = drawLock;
        break;
    case 14:
        paint = [](QPainter& p) { drawStar(p, false); };
        break;
    case 15:
        paint = [](QPainter& p) { drawStar(p, true); };
        break;
    case 23:
        paint = [](QPainter& p) { drawArrow(p, false); };
        break;
    case 24:
        paint = [](QPainter& p) { drawArrow(p, true); };
        break;
    case 33:
        paint = drawFolder;
        break;
    default:
        break;
    }
    const QIcon icon = paint != nullptr ? render(paint) : QIcon();
    cache.insert(index, icon);
    return icon;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / double(kSize), side / double(kSize));
        drawProgram(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ToolbarImage(const QString& buttonName) {
    static const QHash<QString, Painter> painters{
        {QStringLiteral("RzToolButton1"), drawMenu},
        {QStringLiteral("tbtTree"), [](QPainter& p) { drawTag(p, kBlue); }},
        {QStringLiteral("tbtImport"),
         [](QPainter& p) {
             drawDocument(p, kGreen);
             drawPlus(p, QPointF(13, 13));
         }},
        {QStringLiteral("tbtCreate"),
         [](QPainter& p) {
             drawDocument(p, kBlue);
             drawPlus(p, QPointF(13, 13));
         }},
        {QStringLiteral("tbtSave"), [](QPainter& p) { drawDisk(p, false); }},
        {QStringLiteral("tbtSaveAll"), [](QPainter& p) { drawDisk(p, true); }},
        {QStringLiteral("tbtTag"), [](QPainter& p) { drawTag(p, kAmber); }},
        {QStringLiteral("tbtInfo"), drawInfo},
        {QStringLiteral("tbtEmbed"), drawEmbed},
        {QStringLiteral("tbtMacro"), drawMacro},
        {QStringLiteral("tbtXls"), drawTable},
        {QStringLiteral("BtnUtilities"), drawGear},
        {QStringLiteral("fdNew"),
         [](QPainter& p) {
             drawFolder(p);
             drawPlus(p, QPointF(13, 13));
         }},
        {QStringLiteral("btnSubNew"),
         [](QPainter& p) {
             p.save();
             p.scale(0.7, 0.7);
             drawFolder(p);
             p.translate(7, 7);
             drawFolder(p);
             p.restore();
             drawPlus(p, QPointF(13.5, 13.5));
         }},
        {QStringLiteral("btnAddFolder"),
         [](QPainter& p) {
             drawFolder(p);
             drawRightArrow(p, QPointF(13, 12), kGreen);
         }},
        {QStringLiteral("btnDelFolder"),
         [](QPainter& p) {
             drawFolder(p);
             drawMinus(p, QPointF(13, 13));
         }},
        {QStringLiteral("btnMoveAll"),
         [](QPainter& p) {
             p.save();
             p.scale(0.75, 0.75);
             drawDocument(p, kBlue);
             p.restore();
             drawRightArrow(p, QPointF(13, 12), kAmber);
         }},
        {QStringLiteral("btnHelp"), drawHelp},
    };
    const Painter paint = painters.value(buttonName);
    return paint != nullptr ? render(paint) : QIcon();
}

} // namespace velmora
