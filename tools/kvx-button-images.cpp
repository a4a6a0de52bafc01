// kvx-button-images: draws the numbered button images once, and renders a sheet of what the library loads.
//   kvx-button-images --draw DIR     writes 1.png ... N.png (18x18; image 24 holds two glyphs, 36x18)
//   kvx-button-images --sheet FILE   renders every image ImageLibrary::LoadBmp gives, numbered, 1x and 3x
// The committed PNGs in src/controls/images/ are the source; this drew them and may redraw them.
#include "controls/ImageLibrary.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 18;
constexpr int kScale = 4; // drawn at 4x and reduced, for smooth edges at 18 pixels

using Draw = std::function<void(QPainter&)>;

const QColor kBlue(31, 94, 191), kLightBlue(120, 170, 235), kGreen(30, 150, 60), kRed(210, 40, 40),
    kDark(55, 60, 70), kGold(235, 180, 40), kGrey(150, 150, 150), kPaper(252, 252, 248);

QPen pen(const QColor& c, qreal w) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    p.setPen(pen(c, 2.4));
    p.drawLine(from, to);
    const QLineF back(to, from);
    for (int side : {-1, 1}) {
        QLineF wing = back;
        wing.setLength(6);
        wing.setAngle(back.angle() + side * 40);
        p.drawLine(wing);
    }
}

void triangle(QPainter& p, bool left, qreal x, const QColor& c) {
    QPainterPath path;
    if (left) {
        path.moveTo(x + 6, 3.5);
        path.lineTo(x, 9);
        path.lineTo(x + 6, 14.5);
    } else {
        path.moveTo(x, 3.5);
        path.lineTo(x + 6, 9);
        path.lineTo(x, 14.5);
    }
    path.closeSubpath();
    p.setPen(pen(c.darker(130), 0.8));
    p.setBrush(c);
    p.drawPath(path);
}

void magnifier(QPainter& p, QPointF centre, qreal r, const QColor& rim, const QColor& glass) {
    p.setPen(pen(rim, 2.6));
    const QPointF handle = centre + QPointF(r * 0.72, r * 0.72);
    p.drawLine(handle, handle + QPointF(r * 0.85, r * 0.85));
    p.setPen(pen(rim, 1.6));
    p.setBrush(glass);
    p.drawEllipse(centre, r, r);
}

void page(QPainter& p, QRectF r) {
    p.setPen(pen(kDark, 1));
    p.setBrush(kPaper);
    p.drawRect(r);
}

// The images in number order (1 first). Each draws into an 18x18 square.
const QList<Draw>& images() {
    static const QList<Draw> list = {
        // 1 lookup: magnifier
        [](QPainter& p) {
            magnifier(p, {7.5, 7.5}, 4.8, kBlue, kLightBlue.lighter(130));
        },
        // 2 open: folder
        [](QPainter& p) {
            p.setPen(pen(kDark.lighter(120), 1));
            p.setBrush(kGold.darker(115));
            p.drawRect(QRectF(1.5, 3.5, 6, 2.5));
            p.drawRect(QRectF(1.5, 5, 14, 10));
            QPainterPath front;
            front.moveTo(1.5, 15);
            front.lineTo(4.5, 8);
            front.lineTo(17, 8);
            front.lineTo(15.5, 15);
            front.closeSubpath();
            p.setBrush(kGold);
            p.drawPath(front);
        },
        // 3 date: calendar
        [](QPainter& p) {
            page(p, QRectF(2.5, 3.5, 13, 12));
            p.fillRect(QRectF(3, 4, 12, 3.5), kRed);
            p.setPen(pen(kDark, 1.4));
            p.drawLine(QPointF(6, 2), QPointF(6, 5));
            p.drawLine(QPointF(12, 2), QPointF(12, 5));
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 3; ++c)
                    p.fillRect(QRectF(4.5 + c * 3.5, 9 + r * 3, 2, 2), kDark);
        },
        // 4 print: printer
        [](QPainter& p) {
            page(p, QRectF(5.5, 1.5, 7, 5));
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(175, 180, 190));
            p.drawRoundedRect(QRectF(1.5, 6.5, 15, 7), 1.5, 1.5);
            p.fillRect(QRectF(13, 8.5, 1.5, 1.5), kGreen);
            page(p, QRectF(5.5, 11.5, 7, 5));
            p.setPen(pen(kGrey, 0.8));
            p.drawLine(QPointF(7, 13.5), QPointF(11, 13.5));
        },
        // 5 calculator
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(215, 218, 225));
            p.drawRoundedRect(QRectF(3.5, 1.5, 11, 15), 1.5, 1.5);
            p.fillRect(QRectF(5, 3, 8, 3.5), QColor(170, 210, 160));
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    p.fillRect(QRectF(5 + c * 3, 8 + r * 2.8, 2, 1.8), c == 2 && r == 2 ? kRed : kDark);
        },
        // 6 find: binoculars
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(kDark.lighter(150));
            p.drawRect(QRectF(3.5, 3, 3, 6));
            p.drawRect(QRectF(11.5, 3, 3, 6));
            p.drawRect(QRectF(6.5, 6, 5, 3));
            p.setBrush(kBlue);
            p.drawEllipse(QPointF(5, 12), 3.5, 3.5);
            p.drawEllipse(QPointF(13, 12), 3.5, 3.5);
            p.setBrush(kLightBlue);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(4.2, 11.2), 1.2, 1.2);
            p.drawEllipse(QPointF(12.2, 11.2), 1.2, 1.2);
        },
        // 7 left arrow
        [](QPainter& p) {
            arrow(p, {15.5, 9}, {2.5, 9}, kGreen);
        },
        // 8 right arrow
        [](QPainter& p) {
            arrow(p, {2.5, 9}, {15.5, 9}, kGreen);
        },
        // 9 up arrow
        [](QPainter& p) {
            arrow(p, {9, 15.5}, {9, 2.5}, kGreen);
        },
        // 10 OK: check mark
        [](QPainter& p) {
            p.setPen(pen(kGreen, 3));
            p.drawPolyline(QPolygonF({{2.5, 9.5}, {7, 14}, {15.5, 4}}));
        },
        // 11 common phrases: note with lines
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(255, 246, 180));
            p.drawRect(QRectF(2.5, 1.5, 13, 15));
            p.setPen(pen(kBlue, 1.1));
            for (int i = 0; i < 4; ++i)
                p.drawLine(QPointF(5, 5 + i * 3), QPointF(i == 3 ? 10 : 13, 5 + i * 3));
        },
        // 12 cancel / clear: cross
        [](QPainter& p) {
            p.setPen(pen(kRed, 3));
            p.drawLine(QPointF(4, 4), QPointF(14, 14));
            p.drawLine(QPointF(14, 4), QPointF(4, 14));
        },
        // 13 add: plus
        [](QPainter& p) {
            p.setPen(pen(kGreen, 3));
            p.drawLine(QPointF(9, 3), QPointF(9, 15));
            p.drawLine(QPointF(3, 9), QPointF(15, 9));
        },
        // 14 remove: minus
        [](QPainter& p) {
            p.setPen(pen(kRed, 3));
            p.drawLine(QPointF(3, 9), QPointF(15, 9));
        },
        // 15 refresh: circular arrow
        [](QPainter& p) {
            p.setPen(pen(kBlue, 2.2));
            p.drawArc(QRectF(3, 3, 12, 12), 100 * 16, 290 * 16);
            QPainterPath head;
            head.moveTo(8, 0.8);
            head.lineTo(12.2, 3.2);
            head.lineTo(8, 5.6);
            head.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(kBlue);
            p.drawPath(head);
        },
        // 16 save: disk
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(kBlue);
            p.drawRoundedRect(QRectF(1.5, 1.5, 15, 15), 1.5, 1.5);
            p.fillRect(QRectF(4.5, 2, 9, 5.5), kPaper);
            p.fillRect(QRectF(10.5, 3, 2, 3.5), kDark);
            p.fillRect(QRectF(4, 10.5, 10, 6), QColor(225, 228, 235));
        },
        // 17 first
        [](QPainter& p) {
            p.fillRect(QRectF(3.5, 3.5, 2.2, 11), kBlue);
            triangle(p, true, 7, kBlue);
        },
        // 18 prior
        [](QPainter& p) { triangle(p, true, 6, kBlue); },
        // 19 next
        [](QPainter& p) { triangle(p, false, 6, kBlue); },
        // 20 last
        [](QPainter& p) {
            triangle(p, false, 5, kBlue);
            p.fillRect(QRectF(12.3, 3.5, 2.2, 11), kBlue);
        },
        // 21 remove all: double left
        [](QPainter& p) {
            triangle(p, true, 2.5, kGreen);
            triangle(p, true, 9.5, kGreen);
        },
        // 22 add all: double right
        [](QPainter& p) {
            triangle(p, false, 2.5, kGreen);
            triangle(p, false, 9.5, kGreen);
        },
        // 23 help: question mark in a circle
        [](QPainter& p) {
            p.setPen(pen(kBlue.darker(120), 1));
            p.setBrush(kBlue);
            p.drawEllipse(QPointF(9, 9), 7.5, 7.5);
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setBold(true);
            f.setPixelSize(12);
            p.setFont(f);
            p.setPen(Qt::white);
            p.drawText(QRectF(0, 0.5, 18, 18), Qt::AlignCenter, QStringLiteral("?"));
        },
        // 24 lookup pair: drawn separately (two glyphs)
        nullptr,
        // 25 edit: pencil over a page
        [](QPainter& p) {
            page(p, QRectF(1.5, 3.5, 10, 13));
            p.setPen(pen(kGrey, 0.8));
            for (int i = 0; i < 3; ++i)
                p.drawLine(QPointF(3.5, 7 + i * 3), QPointF(8.5, 7 + i * 3));
            p.save();
            p.translate(12.5, 7);
            p.rotate(45);
            p.setPen(pen(kDark, 0.8));
            p.setBrush(kGold);
            p.drawRect(QRectF(-1.8, -6, 3.6, 10));
            p.setBrush(kRed);
            p.drawRect(QRectF(-1.8, -7.5, 3.6, 1.5));
            QPainterPath tip;
            tip.moveTo(-1.8, 4);
            tip.lineTo(0, 7.5);
            tip.lineTo(1.8, 4);
            tip.closeSubpath();
            p.setBrush(QColor(240, 215, 170));
            p.drawPath(tip);
            p.restore();
        },
        // 26 delete: waste bin
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(200, 205, 212));
            QPainterPath bin;
            bin.moveTo(4, 5.5);
            bin.lineTo(14, 5.5);
            bin.lineTo(13, 16.5);
            bin.lineTo(5, 16.5);
            bin.closeSubpath();
            p.drawPath(bin);
            p.drawRect(QRectF(2.5, 3.5, 13, 2));
            p.drawRect(QRectF(7, 1.5, 4, 2));
            p.setPen(pen(kRed, 1.8));
            p.drawLine(QPointF(6.5, 8.5), QPointF(11.5, 14));
            p.drawLine(QPointF(11.5, 8.5), QPointF(6.5, 14));
        },
        // 27 preview: page with a magnifier
        [](QPainter& p) {
            page(p, QRectF(1.5, 1.5, 11, 14));
            p.setPen(pen(kGrey, 0.8));
            for (int i = 0; i < 3; ++i)
                p.drawLine(QPointF(3.5, 4.5 + i * 2.5), QPointF(10.5, 4.5 + i * 2.5));
            magnifier(p, {10.5, 10.5}, 3.6, kBlue, kLightBlue.lighter(130));
        },
        // 28 exit: door and an arrow out of it
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(160, 105, 60));
            p.drawRect(QRectF(2.5, 1.5, 8, 15));
            p.setBrush(kGold);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(8.5, 9.5), 0.9, 0.9);
            arrow(p, {8, 9}, {16.5, 9}, kRed);
        },
        // 29 query: funnel
        [](QPainter& p) {
            QPainterPath funnel;
            funnel.moveTo(1.5, 2.5);
            funnel.lineTo(16.5, 2.5);
            funnel.lineTo(10.5, 9.5);
            funnel.lineTo(10.5, 15.5);
            funnel.lineTo(7.5, 13.5);
            funnel.lineTo(7.5, 9.5);
            funnel.closeSubpath();
            p.setPen(pen(kDark, 1));
            p.setBrush(kLightBlue);
            p.drawPath(funnel);
        },
        // 30 colour filter: a funnel over three colour bands
        [](QPainter& p) {
            p.setPen(Qt::NoPen);
            const QColor bands[] = {kRed, kGreen, kBlue};
            for (int i = 0; i < 3; ++i) {
                p.setBrush(bands[i]);
                p.drawRect(QRectF(1.5 + i * 5, 13.5, 5, 3));
            }
            QPainterPath funnel;
            funnel.moveTo(2.5, 1.5);
            funnel.lineTo(15.5, 1.5);
            funnel.lineTo(10.5, 7.5);
            funnel.lineTo(10.5, 12);
            funnel.lineTo(7.5, 10.5);
            funnel.lineTo(7.5, 7.5);
            funnel.closeSubpath();
            p.setPen(pen(kDark, 1));
            p.setBrush(kGold);
            p.drawPath(funnel);
        },
    };
    return list;
}

QImage render(int width, const std::function<void(QPainter&)>& draw) {
    QImage big(width * kScale, kSize * kScale, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(kScale, kScale);
        draw(p);
    }
    return big.scaled(width, kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

QImage drawImage(int n) {
    const auto& list = images();
    if (list[n - 1]) return render(kSize, list[n - 1]);
    // 24: the magnifier in colour, then greyed for the disabled look.
    return render(kSize * 2, [](QPainter& p) {
        magnifier(p, {7.5, 7.5}, 4.8, kBlue, kLightBlue.lighter(130));
        p.translate(kSize, 0);
        magnifier(p, {7.5, 7.5}, 4.8, kGrey, QColor(225, 225, 225));
    });
}

int drawAll(const QString& dir) {
    QDir().mkpath(dir);
    for (int n = 1; n <= int(images().size()); ++n) {
        const QString file = QDir(dir).filePath(QString::number(n) + QStringLiteral(".png"));
        if (!drawImage(n).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

// Every image the library loads: number, the image at its size, and three times enlarged.
int renderSheet(const QString& file) {
    const int count = kvx::ImageLibrary::GetMaxBmpID();
    constexpr int kColumns = 6, kCellW = 200, kCellH = 64;
    QImage sheet(kColumns * kCellW, (count + kColumns - 1) / kColumns * kCellH, QImage::Format_ARGB32);
    sheet.fill(QColor(240, 240, 240));
    QPainter p(&sheet);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(12);
    p.setFont(f);
    for (int n = 1; n <= count; ++n) {
        QPixmap img;
        const int x = (n - 1) % kColumns * kCellW, y = (n - 1) / kColumns * kCellH;
        p.setPen(Qt::black);
        p.drawText(QRect(x + 4, y, 26, kCellH), Qt::AlignVCenter | Qt::AlignRight, QString::number(n));
        if (!kvx::ImageLibrary::LoadBmp(img, n)) {
            p.drawText(QRect(x + 36, y, kCellW - 36, kCellH), Qt::AlignVCenter, QStringLiteral("(error)"));
            continue;
        }
        p.fillRect(QRect(x + 34, y + 23, img.width() + 4, img.height() + 4), Qt::white);
        p.drawPixmap(x + 36, y + 25, img);
        const QPixmap big = img.scaled(img.size() * 3, Qt::KeepAspectRatio, Qt::FastTransformation);
        p.drawPixmap(x + 40 + img.width() + 8, y + (kCellH - big.height()) / 2, big);
    }
    p.end();
    return sheet.save(file, "PNG") ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("draw"), QStringLiteral("Draws the images into DIR."), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("sheet"), QStringLiteral("Renders the loaded images into FILE."),
                      QStringLiteral("FILE")});
    parser.process(app);
    if (parser.isSet(QStringLiteral("draw"))) return drawAll(parser.value(QStringLiteral("draw")));
    if (parser.isSet(QStringLiteral("sheet"))) return renderSheet(parser.value(QStringLiteral("sheet")));
    parser.showHelp(1);
}
