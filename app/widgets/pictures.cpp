#include "app/widgets/pictures.h"

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QLinearGradient>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "app/core/acceptor_variants.h"

namespace kovrin {
namespace {

constexpr int PictureWidth = 160;
constexpr int PictureHeight = 200;
constexpr int PicturesPerVariant = 6;

// One flat palette for everything, so pictures and buttons belong together.
namespace ink {
constexpr QRgb Body = 0x3A4850;
constexpr QRgb BodyEdge = 0x263238;
constexpr QRgb BodyBase = 0x2C363C;
constexpr QRgb Slot = 0x12171A;
constexpr QRgb Plate = 0xECEFF1;
constexpr QRgb PlateText = 0x263238;
constexpr QRgb Vent = 0x56666E;
constexpr QRgb LedOff = 0x1C2327;
constexpr QRgb LedRing = 0x5E6E76;
constexpr QRgb Ready = 0x5BE584;
constexpr QRgb Powered = 0x2F8F52;
constexpr QRgb Warning = 0xFFB300;
constexpr QRgb WarningDark = 0xE65100;
constexpr QRgb Boot = 0x42A5F5;
constexpr QRgb BootDark = 0x1565C0;
constexpr QRgb Cable = 0x4A5A62;
constexpr QRgb Idle = 0x90A4AE;
constexpr QRgb IdleLight = 0xB0BEC5;
constexpr QRgb IdleText = 0x78909C;
constexpr QRgb Send = 0x1E88E5;
constexpr QRgb Read = 0x2E9D52;
constexpr QRgb Calibrate = 0xF57C00;
constexpr QRgb Chip = 0x4E636D;
constexpr QRgb ChipMark = 0xCFD8DC;
constexpr QRgb Disabled = 0xB0BEC5;
constexpr QRgb DisabledDark = 0x9AA9B1;
constexpr QRgb Note = 0x43A047;
constexpr QRgb NoteMark = 0xA5D6A7;
}  // namespace ink

QColor Rgb(QRgb rgb, int alpha = 255)
{
    QColor c = QColor::fromRgb(rgb);
    c.setAlpha(alpha);
    return c;
}

enum class BezelShape { Rounded, Square, Arched };

struct VariantLook {
    QRgb bezel;
    int bodyWidth;
    BezelShape shape;
    int bezelRadius;
};

// Indexed by variant code; 0 is never drawn from here (it has its own picture).
constexpr std::array<VariantLook, VariantCount> Looks = {{
    {0, 0, BezelShape::Rounded, 0},
    {0x00897B, 104, BezelShape::Rounded, 12},
    {0x1976D2, 112, BezelShape::Square, 3},
    {0x607D8B, 112, BezelShape::Square, 1},
    {0x3949AB, 122, BezelShape::Square, 5},
    {0x7B1FA2, 132, BezelShape::Arched, 6},
    {0x8D6E63, 114, BezelShape::Rounded, 14},
    {0xC2185B, 136, BezelShape::Arched, 6},
    {0x7C8B2E, 100, BezelShape::Rounded, 8},
    {0x283593, 126, BezelShape::Square, 5},
}};

qreal ScreenRatio()
{
    if (qGuiApp == nullptr)
        return 1.0;
    return std::max<qreal>(1.0, qGuiApp->devicePixelRatio());
}

// Static pixmaps must go before the application does, so the caches are
// emptied when it is destroyed.
template <typename T>
QHash<quint64, T>& Cache()
{
    static QHash<quint64, T> cache;
    static bool hooked = false;
    if (!hooked && QCoreApplication::instance() != nullptr) {
        hooked = true;
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] {
            cache.clear();
            hooked = false;
        });
    }
    return cache;
}

quint64 CacheKey(int kind, int a, int b, qreal ratio)
{
    return (quint64(kind) << 48) | (quint64(a & 0xFFFF) << 32) | (quint64(b & 0xFFFF) << 16) |
           quint64(std::lround(ratio * 100) & 0xFFFF);
}

QFont PictureFont(qreal pixelSize, bool bold)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setBold(bold);
    return font;
}

// Shrinks the text until it fits, then elides, so long names never spill.
void DrawFittedText(QPainter& p, const QRectF& box, const QString& text, int pixelSize, bool bold,
                    const QColor& colour)
{
    QFont font = PictureFont(pixelSize, bold);
    for (int size = pixelSize; size > 7; --size) {
        font = PictureFont(size, bold);
        if (QFontMetricsF(font).horizontalAdvance(text) <= box.width())
            break;
    }
    p.setFont(font);
    p.setPen(colour);
    const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, box.width());
    p.drawText(box, Qt::AlignCenter, shown);
}

void DrawGlowDot(QPainter& p, QPointF centre, qreal radius, const QColor& colour)
{
    QRadialGradient glow(centre, radius * 2.6);
    glow.setColorAt(0.0, QColor(colour.red(), colour.green(), colour.blue(), 120));
    glow.setColorAt(1.0, QColor(colour.red(), colour.green(), colour.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, radius * 2.6, radius * 2.6);
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(centre + QPointF(-radius * 0.35, -radius * 0.35), radius * 0.35, radius * 0.35);
}

// A down-pointing chevron: the way a note goes in.
void DrawChevron(QPainter& p, QPointF centre, qreal halfWidth, qreal height, const QColor& colour,
                 bool glow)
{
    QPainterPath path;
    path.moveTo(centre + QPointF(-halfWidth, -height / 2));
    path.lineTo(centre + QPointF(0, height / 2));
    path.lineTo(centre + QPointF(halfWidth, -height / 2));
    p.setBrush(Qt::NoBrush);
    if (glow) {
        p.setPen(QPen(QColor(colour.red(), colour.green(), colour.blue(), 70), 8, Qt::SolidLine,
                      Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    }
    p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void DrawWarningBadge(QPainter& p, QPointF centre)
{
    const qreal h = 24;
    const qreal w = 27;
    QPainterPath triangle;
    triangle.moveTo(centre + QPointF(0, -h / 2));
    triangle.lineTo(centre + QPointF(w / 2, h / 2));
    triangle.lineTo(centre + QPointF(-w / 2, h / 2));
    triangle.closeSubpath();
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(triangle);
    p.setPen(QPen(Rgb(ink::Warning), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Rgb(ink::Warning));
    p.drawPath(triangle);
    p.setPen(QPen(Rgb(ink::PlateText), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(0, -3), centre + QPointF(0, 4));
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::PlateText));
    p.drawEllipse(centre + QPointF(0, 8.5), 1.8, 1.8);
}

// Small chip with pins on two sides, drawn around `centre`.
void DrawChip(QPainter& p, QPointF centre, qreal w, qreal h, const QColor& body, const QColor& pins,
              int pinsPerSide)
{
    const qreal pinLength = w * 0.2;
    const qreal pinThickness = std::max<qreal>(1.0, h / (pinsPerSide * 2.4));
    p.setPen(Qt::NoPen);
    p.setBrush(pins);
    for (int i = 0; i < pinsPerSide; ++i) {
        const qreal y = centre.y() - h / 2 + h * (i + 0.5) / pinsPerSide - pinThickness / 2;
        p.drawRoundedRect(QRectF(centre.x() - w / 2 - pinLength, y, pinLength + 1, pinThickness), 0.6, 0.6);
        p.drawRoundedRect(QRectF(centre.x() + w / 2 - 1, y, pinLength + 1, pinThickness), 0.6, 0.6);
    }
    p.setBrush(body);
    p.drawRoundedRect(QRectF(centre.x() - w / 2, centre.y() - h / 2, w, h), w * 0.14, w * 0.14);
}

void DrawBootBadge(QPainter& p, QPointF centre)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 15.5, 15.5);
    p.setBrush(Rgb(ink::BootDark));
    p.drawEllipse(centre, 13.5, 13.5);
    DrawChip(p, centre + QPointF(0, 5.5), 12, 7, Qt::white, Qt::white, 2);
    p.setBrush(Rgb(ink::BootDark));
    p.drawEllipse(centre + QPointF(-3, 4), 1.2, 1.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(centre + QPointF(0, -9), centre + QPointF(0, -1.5));
    QPolygonF head;
    head << centre + QPointF(-4, -3.5) << centre + QPointF(0, 0.5) << centre + QPointF(4, -3.5);
    p.drawPolyline(head);
}

QPainterPath BezelPath(const QRectF& r, const VariantLook& look)
{
    QPainterPath path;
    switch (look.shape) {
    case BezelShape::Rounded:
    case BezelShape::Square:
        path.addRoundedRect(r, look.bezelRadius, look.bezelRadius);
        break;
    case BezelShape::Arched: {
        const qreal rise = 12;
        const qreal c = look.bezelRadius;
        path.moveTo(r.left(), r.top() + rise);
        path.quadTo(r.center().x(), r.top() - rise * 0.6, r.right(), r.top() + rise);
        path.lineTo(r.right(), r.bottom() - c);
        path.quadTo(r.right(), r.bottom(), r.right() - c, r.bottom());
        path.lineTo(r.left() + c, r.bottom());
        path.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - c);
        path.closeSubpath();
        break;
    }
    }
    return path;
}

// The cable that leaves the acceptor's connector for the PC.
void DrawCable(QPainter& p, QPointF from, QPointF to, const QColor& colour)
{
    QPainterPath cable;
    cable.moveTo(from);
    cable.cubicTo(from + QPointF(0, 12), to + QPointF(22, 0), to);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
}

void DrawPlug(QPainter& p, const QRectF& r, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(colour.darker(125));
    p.drawRect(QRectF(r.center().x() - 3, r.bottom() - 1, 6, 3));
}

void DrawAcceptor(QPainter& p, int variant, int index)
{
    const VariantLook& look = Looks[variant];
    const QColor bezelColour = Rgb(look.bezel);
    const qreal cx = PictureWidth / 2.0;
    const qreal w = look.bodyWidth;
    const qreal left = cx - w / 2;
    const QRectF body(left, 12, w, 164);

    // Cable and plug under the body: the acceptor is attached.
    const QPointF plugCentre(cx + w / 4, body.bottom() + 4);
    DrawCable(p, plugCentre + QPointF(0, 5), QPointF(cx - 40, PictureHeight - 3), Rgb(ink::Cable));
    DrawPlug(p, QRectF(plugCentre.x() - 9, body.bottom() - 2, 18, 9), Rgb(ink::Cable).lighter(120));

    p.setPen(QPen(Rgb(ink::BodyEdge), 1.5));
    p.setBrush(Rgb(ink::Body));
    p.drawRoundedRect(body, 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::BodyBase));
    QPainterPath base;
    base.addRoundedRect(body.adjusted(0.75, 0, -0.75, -0.75), 10, 10);
    QPainterPath lower;
    lower.addRect(QRectF(body.left(), body.bottom() - 14, body.width(), 14));
    p.drawPath(base.intersected(lower));

    // Bezel: the front plate with the note slot.
    const QRectF bezel(left + 8, 22, w - 16, 80);
    const QPainterPath bezelPath = BezelPath(bezel, look);
    QLinearGradient sheen(bezel.topLeft() - QPointF(0, 8), bezel.bottomLeft());
    sheen.setColorAt(0.0, bezelColour.lighter(122));
    sheen.setColorAt(1.0, bezelColour.darker(108));
    p.setPen(QPen(bezelColour.darker(135), 1.5));
    p.setBrush(sheen);
    p.drawPath(bezelPath);

    const QRectF slot(bezel.left() + 11, bezel.bottom() - 20, bezel.width() - 22, 9);
    QColor slotLine(255, 255, 255, 60);
    if (index == 5)
        slotLine = Rgb(ink::Warning, 200);
    else if (index == 6)
        slotLine = Rgb(ink::Boot, 230);
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::Slot));
    p.drawRoundedRect(slot, 4.5, 4.5);
    p.setBrush(slotLine);
    p.drawRoundedRect(QRectF(slot.left() + 5, slot.center().y() + 0.5, slot.width() - 10, 2), 1, 1);

    // Three chevrons over the slot; the ready cycle lights them in turn.
    for (int i = 0; i < 3; ++i) {
        const QPointF centre(cx, slot.top() - 42 + i * 13);
        QColor colour(255, 255, 255, 55);
        bool glow = false;
        if (index >= 2 && index <= 4 && i == index - 2) {
            colour = Rgb(ink::Ready);
            glow = true;
        } else if (index == 5) {
            colour = Rgb(ink::Warning);
        }
        DrawChevron(p, centre, 12, 7, colour, glow);
    }

    // Status LED and vents below the bezel.
    const QPointF led(body.right() - 17, bezel.bottom() + 14);
    p.setPen(QPen(Rgb(ink::LedRing), 1.5));
    p.setBrush(Rgb(ink::LedOff));
    p.drawEllipse(led, 5, 5);
    // Picture 1 is the steady look of variants that do not animate, so its LED
    // shows power rather than off; the animated ones blink it bright.
    if (index == 1) {
        p.setPen(Qt::NoPen);
        p.setBrush(Rgb(ink::Powered));
        p.drawEllipse(led, 3.5, 3.5);
    } else if (index >= 2 && index <= 4)
        DrawGlowDot(p, led, 4, Rgb(ink::Ready));
    else if (index == 5)
        DrawGlowDot(p, led, 4, Rgb(ink::WarningDark).lighter(115));
    else if (index == 6)
        DrawGlowDot(p, led, 4, Rgb(ink::Boot));
    p.setPen(QPen(Rgb(ink::Vent), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const qreal y = bezel.bottom() + 9 + i * 5;
        p.drawLine(QPointF(body.left() + 14, y), QPointF(body.left() + 34, y));
    }

    // Name plate, with a strip of the variant's colour.
    const QRectF plate(body.left() + 10, 138, w - 20, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::Plate));
    p.drawRoundedRect(plate, 4, 4);
    p.setBrush(bezelColour);
    QPainterPath plateShape;
    plateShape.addRoundedRect(plate, 4, 4);
    QPainterPath strip;
    strip.addRect(QRectF(plate.left(), plate.top(), 5, plate.height()));
    p.drawPath(plateShape.intersected(strip));
    DrawFittedText(p, plate.adjusted(8, 0, -3, 0), QString::fromUtf8(VariantRow(variant).Name), 11, true,
                   Rgb(ink::PlateText));

    const QPointF badge(body.right() - 4, body.top() + 4);
    if (index == 5)
        DrawWarningBadge(p, badge);
    else if (index == 6)
        DrawBootBadge(p, badge);
}

void DrawNoAcceptor(QPainter& p)
{
    const qreal cx = PictureWidth / 2.0;
    const QRectF bench(cx - 50, 12, 100, 140);
    QPen dashed(Rgb(ink::IdleLight), 2, Qt::CustomDashLine, Qt::RoundCap);
    dashed.setDashPattern({3, 3});
    p.setPen(dashed);
    p.setBrush(QColor(176, 190, 197, 28));
    p.drawRoundedRect(bench, 10, 10);

    const QRectF slot(bench.left() + 18, bench.top() + 58, bench.width() - 36, 9);
    p.setPen(QPen(Rgb(ink::IdleLight), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(slot, 4.5, 4.5);

    DrawFittedText(p, QRectF(bench.left() + 4, bench.top() + 84, bench.width() - 8, 18),
                   QStringLiteral("No acceptor"), 12, true, Rgb(ink::IdleText));

    // Socket on the bench outline, the plug hanging free below it.
    const QRectF socket(cx - 12, bench.bottom() - 4, 24, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::IdleLight));
    p.drawRoundedRect(socket, 2, 2);
    p.setBrush(Rgb(ink::Slot, 60));
    p.drawRoundedRect(socket.adjusted(4, 2.5, -4, -2.5), 1, 1);

    const QRectF plug(cx - 10, bench.bottom() + 20, 20, 11);
    p.setPen(QPen(Rgb(ink::Idle), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx - 4, plug.top() - 6), QPointF(cx - 4, plug.top()));
    p.drawLine(QPointF(cx + 4, plug.top() - 6), QPointF(cx + 4, plug.top()));
    DrawCable(p, QPointF(cx, plug.bottom() + 2), QPointF(cx - 46, PictureHeight - 3), Rgb(ink::Idle));
    DrawPlug(p, plug, Rgb(ink::Idle));

    // A small gap mark between socket and plug.
    p.setPen(QPen(Rgb(ink::IdleLight), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx + 16, socket.bottom() + 4), QPointF(cx + 22, socket.bottom() + 1));
    p.drawLine(QPointF(cx + 17, socket.bottom() + 9), QPointF(cx + 24, socket.bottom() + 9));
    p.drawLine(QPointF(cx + 16, socket.bottom() + 14), QPointF(cx + 22, socket.bottom() + 17));
}

template <typename Draw>
QPixmap Render(QSize logical, qreal ratio, Draw draw)
{
    QPixmap pixmap(QSize(int(std::ceil(logical.width() * ratio)), int(std::ceil(logical.height() * ratio))));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    draw(p);
    return pixmap;
}

// Colours of one button look; the disabled look is the same drawing in greys.
struct ButtonInk {
    QColor accent;
    QColor dark;
    QColor mark;
};

ButtonInk InkFor(QRgb accent, bool enabled)
{
    if (!enabled)
        return {Rgb(ink::Disabled), Rgb(ink::DisabledDark), QColor(255, 255, 255, 200)};
    return {Rgb(accent), Rgb(ink::Chip), Rgb(ink::ChipMark)};
}

void DrawArrowHead(QPainter& p, QPointF tip, qreal angleDegrees, qreal size, const QColor& colour)
{
    const qreal a = angleDegrees * std::numbers::pi / 180.0;
    const QPointF dir(std::cos(a), std::sin(a));
    const QPointF normal(-dir.y(), dir.x());
    QPolygonF head;
    head << tip << tip - dir * size + normal * size * 0.75 << tip - dir * size - normal * size * 0.75;
    p.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    p.drawPolygon(head);
}

// Buttons are drawn on a 48-unit grid.
void DrawSend(QPainter& p, const ButtonInk& c)
{
    DrawChip(p, QPointF(24, 34), 30, 20, c.dark, c.dark, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(c.mark);
    p.drawEllipse(QPointF(14.5, 28.5), 2, 2);
    p.setPen(QPen(c.accent, 5.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 3.5), QPointF(24, 13));
    DrawArrowHead(p, QPointF(24, 22), 90, 10, c.accent);
}

void DrawRefresh(QPainter& p, const ButtonInk& c)
{
    DrawChip(p, QPointF(24, 24), 16, 14, c.dark, c.dark, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(c.mark);
    p.drawEllipse(QPointF(19.5, 20.5), 1.6, 1.6);

    const QRectF ring(6, 6, 36, 36);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c.accent, 4, Qt::SolidLine, Qt::FlatCap));
    // Two arcs with heads, going round clockwise (Qt counts angles counter-clockwise).
    p.drawArc(ring, 100 * 16, 130 * 16);
    p.drawArc(ring, 280 * 16, 130 * 16);
    const qreal r = 18;
    auto onRing = [&](qreal degrees) {
        const qreal a = degrees * std::numbers::pi / 180.0;
        return QPointF(24 + r * std::cos(a), 24 - r * std::sin(a));
    };
    // Heads at the arcs' clockwise ends (100 and 280 degrees), pointing along the turn.
    DrawArrowHead(p, onRing(88), 0, 8, c.accent);
    DrawArrowHead(p, onRing(268), 180, 8, c.accent);
}

void DrawCalibrate(QPainter& p, const ButtonInk& c)
{
    const QPointF centre(24, 24);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c.accent, 4));
    p.drawEllipse(centre, 16, 16);
    p.setPen(QPen(c.dark, 3));
    p.drawEllipse(centre, 8.5, 8.5);
    p.setPen(QPen(c.dark, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 2.5), QPointF(24, 12));
    p.drawLine(QPointF(24, 36), QPointF(24, 45.5));
    p.drawLine(QPointF(2.5, 24), QPointF(12, 24));
    p.drawLine(QPointF(36, 24), QPointF(45.5, 24));
    p.setPen(Qt::NoPen);
    p.setBrush(c.accent);
    p.drawEllipse(centre, 3.2, 3.2);
}

void DrawButton(QPainter& p, int image, int size, bool enabled)
{
    p.scale(size / 48.0, size / 48.0);
    switch (image) {
    case 1:
        DrawSend(p, InkFor(ink::Send, enabled));
        break;
    case 2:
        DrawRefresh(p, InkFor(ink::Read, enabled));
        break;
    case 3:
        DrawCalibrate(p, InkFor(ink::Calibrate, enabled));
        break;
    }
}

// The window icon on a 64-unit grid: an acceptor with a note going in.
void DrawProgramMark(QPainter& p, int size)
{
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::Body));
    p.drawRoundedRect(QRectF(9, 6, 46, 54), 8, 8);
    p.setBrush(Rgb(Looks[4].bezel));
    p.drawRoundedRect(QRectF(13, 10, 38, 30), 5, 5);
    p.setBrush(Rgb(ink::Note));
    p.drawRoundedRect(QRectF(20, 4, 24, 28), 2, 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgb(ink::NoteMark), 1.5));
    p.drawRoundedRect(QRectF(23, 7, 18, 22), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(Rgb(ink::NoteMark));
    p.drawEllipse(QPointF(32, 16), 4.5, 4.5);
    p.setBrush(Rgb(ink::Slot));
    p.drawRoundedRect(QRectF(16, 29, 32, 6), 3, 3);
    p.setBrush(Rgb(ink::Plate));
    p.drawRoundedRect(QRectF(15, 46, 20, 7), 2, 2);
    p.setBrush(Rgb(ink::Ready));
    p.drawEllipse(QPointF(45, 49.5), 3.5, 3.5);
}

constexpr std::array<int, 6> ButtonSizes = {16, 24, 32, 48, 64, 96};
constexpr std::array<int, 7> ProgramIconSizes = {16, 24, 32, 48, 64, 128, 256};

}  // namespace

QSize AcceptorPictureSize()
{
    return QSize(PictureWidth, PictureHeight);
}

QPixmap AcceptorPicture(int variant, int index)
{
    variant = KnownVariantOr0(variant);
    if (variant == 0 || index < 1 || index > PicturesPerVariant)
        index = 1;
    const qreal ratio = ScreenRatio();
    auto& cache = Cache<QPixmap>();
    const quint64 key = CacheKey(1, variant, index, ratio);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    const QPixmap pixmap = Render(AcceptorPictureSize(), ratio, [&](QPainter& p) {
        if (variant == 0)
            DrawNoAcceptor(p);
        else
            DrawAcceptor(p, variant, index);
    });
    cache.insert(key, pixmap);
    return pixmap;
}

QIcon ButtonPicture(int image)
{
    if (image < 1 || image > 3)
        return QIcon();
    auto& cache = Cache<QIcon>();
    const quint64 key = CacheKey(2, image, 0, 1.0);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QIcon icon;
    for (int size : ButtonSizes) {
        for (bool enabled : {true, false}) {
            icon.addPixmap(Render(QSize(size, size), 1.0, [&](QPainter& p) { DrawButton(p, image, size, enabled); }),
                           enabled ? QIcon::Normal : QIcon::Disabled);
        }
    }
    cache.insert(key, icon);
    return icon;
}

QIcon ProgramIcon()
{
    auto& cache = Cache<QIcon>();
    const quint64 key = CacheKey(3, 0, 0, 1.0);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QIcon icon;
    for (int size : ProgramIconSizes)
        icon.addPixmap(Render(QSize(size, size), 1.0, [&](QPainter& p) { DrawProgramMark(p, size); }));
    cache.insert(key, icon);
    return icon;
}

}  // namespace kovrin
