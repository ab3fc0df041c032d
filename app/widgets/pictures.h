#pragma once
// The program's pictures, drawn in code: the acceptor picture of every variant
// with its animation steps, the three service-button pictures and the window
// icon. Everything is drawn once per device pixel ratio and cached; call only
// from the GUI thread with a QGuiApplication alive.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace kovrin {

// Size of every acceptor picture, in device-independent pixels.
QSize AcceptorPictureSize();

// Picture `index` (1..6) of variant `variant` (0..9; anything else is treated
// as 0). Index out of range -> picture 1. Variant 0 has only one picture, "no
// acceptor connected". For variants 1 to 9: 1 idle, 2 to 4 the ready cycle, 5
// not calibrated, 6 boot loader. The pixmap carries the screen's device pixel
// ratio.
QPixmap AcceptorPicture(int variant, int index);

// Button picture of image list 11: 1 send, 2 refresh (read), 3 calibrate; any
// other number gives a null icon. The icon has Normal and Disabled pixmaps.
QIcon ButtonPicture(int image);

// The program's window icon (a small acceptor mark), drawn too.
QIcon ProgramIcon();

}  // namespace kovrin
