#include "app/mainwindow/picture_sequence.h"

namespace kovrin {

int PictureSequence::Step(int v, bool unitCalibrated, bool flashMode)
{
    if (v < 0 || v > 9)
        v = 0;
    if (v != pictureVariant) {
        pictureVariant = v;
        pictureIndex = 1;
    }
    const auto alternate = [this](int a, int b) { pictureIndex = pictureIndex == a ? b : a; };
    const auto readyOrBlink = [&] {
        if (unitCalibrated)
            pictureIndex = pictureIndex + 1 > 4 ? 2 : pictureIndex + 1;  // 2, 3, 4, ...
        else
            alternate(3, 5);
    };
    switch (v) {
    case 0:
        pictureIndex = 1;
        break;
    case 1:
    case 6:
    case 7:
    case 8:
        alternate(1, 2);
        break;
    case 4:
        readyOrBlink();
        break;
    case 5:
    case 9:
        if (flashMode)
            pictureIndex = 6;
        else
            readyOrBlink();
        break;
    default:  // 2 and 3 have one picture
        break;
    }
    return pictureIndex;
}

}  // namespace kovrin
