// Writes one PNG with every picture, so the drawings can be looked at:
//   picture-sheet <out.png>
// Run with QT_QPA_PLATFORM=offscreen; QT_SCALE_FACTOR=2 gives a high-DPI sheet.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

#include "app/widgets/pictures.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: picture-sheet <out.png>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QSize picture = kovrin::AcceptorPictureSize();
    const int cellW = picture.width() + 16;
    const int cellH = picture.height() + 26;
    const int left = 12;
    const int top = 12;
    const int iconRowH = 120;
    const int width = left * 2 + 6 * cellW;
    const int programRowH = 272;
    const int height = top * 2 + 10 * cellH + 2 * iconRowH + programRowH;
    const qreal ratio = app.devicePixelRatio();

    QImage sheet(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(ratio);
    sheet.fill(QColor(0xF4, 0xF6, 0xF7));
    QPainter p(&sheet);
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    p.setFont(font);

    for (int variant = 0; variant <= 9; ++variant) {
        for (int index = 1; index <= 6; ++index) {
            const QRect cell(left + (index - 1) * cellW, top + variant * cellH, cellW, cellH);
            // Alternate light and window-grey cells to show the transparent edges.
            p.fillRect(cell.adjusted(2, 2, -2, -2), (variant + index) % 2 ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xE6, 0xE8, 0xEA));
            p.drawPixmap(cell.topLeft() + QPoint(8, 4), kovrin::AcceptorPicture(variant, index));
            p.setPen(QColor(0x60, 0x60, 0x60));
            p.drawText(QRect(cell.left(), cell.bottom() - 20, cell.width(), 18), Qt::AlignCenter,
                       QStringLiteral("variant %1  picture %2").arg(variant).arg(index));
        }
    }

    // Buttons and window icon, on a light and on a dark row.
    for (int row = 0; row < 2; ++row) {
        const int y = top + 10 * cellH + row * iconRowH;
        p.fillRect(QRect(left, y, width - 2 * left, iconRowH - 8), row == 0 ? QColor(0xFF, 0xFF, 0xFF) : QColor(0x30, 0x34, 0x38));
        int x = left + 10;
        for (int image = 1; image <= 3; ++image) {
            for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
                for (int size : {16, 24, 32, 48}) {
                    const QPixmap icon = kovrin::ButtonPicture(image).pixmap(QSize(size, size), ratio, mode);
                    p.drawPixmap(QPoint(x, y + 60 - size), icon);
                    x += size + 6;
                }
                x += 10;
            }
            x += 14;
        }
    }
    const int programY = top + 10 * cellH + 2 * iconRowH;
    p.fillRect(QRect(left, programY, width - 2 * left, programRowH - 8), QColor(0xFF, 0xFF, 0xFF));
    int x = left + 10;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        p.drawPixmap(QPoint(x, programY + 4 + 256 - size), kovrin::ProgramIcon().pixmap(QSize(size, size), ratio));
        x += size + 12;
    }
    p.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "picture-sheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
