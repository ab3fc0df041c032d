#pragma once
// Which acceptor picture shows next: one step per identification.

namespace kovrin {

struct PictureSequence {
    int pictureVariant = 0;
    int pictureIndex = 0;

    // Advances for variant `v` (outside 0 to 9 counts as 0) and returns the
    // picture number to show from that variant's list.
    int Step(int v, bool unitCalibrated, bool flashMode);
};

}  // namespace kovrin
