// Both EEPROM layouts. Input: a selector byte (bit 0: layout 6/7, bit 1:
// partial decode, the rest an acceptor variant), the 256-byte image, then the
// bytes of a record (any values, also ones no layout holds).
//
// Decoding an image and encoding the record again gives the image back; an
// encode either writes a record that decodes to itself or refuses it and
// leaves the image as it was; a variant without a layout changes nothing.

#include "app/config/eeprom_map.h"
#include "app/config/program_state.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

struct Layout {
    EepromLayout layout;
    int16_t (*decode)(EepromRecord&, const EepromImage&, int32_t);
    CodecResult (*encode)(const EepromRecord&, EepromImage&);
};

const Layout kLayouts[] = {
    {EepromLayout::V5, DecodeEepromImageV5, EncodeEepromImageV5},
    {EepromLayout::V6, DecodeEepromImageV6, EncodeEepromImageV6},
};

EepromRecord RecordFrom(Input& in)
{
    EepromRecord record;
    in.Fill(record);
    return record;
}

// Image bytes a layout's encode writes; the others it keeps.
bool Written(EepromLayout layout, size_t i)
{
    return layout == EepromLayout::V5 || i < 143 || i > 249;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t selector = in.Byte();
    const Layout& l = kLayouts[selector & 1];
    const int32_t partial = (selector & 2) ? 1 : 0;
    const uint8_t variant = selector >> 2;
    EepromImage image{};
    const std::vector<uint8_t> imageBytes = in.Bytes(image.size());
    std::copy(imageBytes.begin(), imageBytes.end(), image.begin());
    const EepromRecord given = RecordFrom(in);

    // Image -> record -> image.
    {
        EepromRecord record = given;
        l.decode(record, image, partial);
        EepromImage again = image;
        const CodecResult encoded = l.encode(record, again);
        if (partial == 0) {
            FUZZ_CHECK(bool(encoded));  // whatever an image holds, the layout can write back
            FUZZ_CHECK(again == image);
            EepromRecord twice = given;
            l.decode(twice, again, 0);
            FUZZ_CHECK(twice == record);
        } else if (encoded) {
            EepromRecord whole = given;
            l.decode(whole, image, 0);
            EepromRecord leading = whole;
            l.decode(leading, again, 1);
            FUZZ_CHECK(leading == whole);  // the leading part went back unchanged
        }
    }

    // Record -> image -> record.
    {
        EepromImage target = image;
        const CodecResult encoded = l.encode(given, target);
        FUZZ_CHECK(bool(encoded) == bool(CheckRecordFitsLayout(given, l.layout)));
        if (!encoded) {
            FUZZ_CHECK(encoded.status == CodecStatus::ValueOutOfRange && !encoded.message.empty());
            FUZZ_CHECK(target == image);
        } else {
            for (size_t i = 0; i < image.size(); ++i)
                if (!Written(l.layout, i))
                    FUZZ_CHECK(target[i] == image[i]);
            EepromRecord back = given;
            l.decode(back, target, 0);
            FUZZ_CHECK(back == given);
        }
    }

    // The dispatchers: by the attached acceptor's variant, and by the record's own.
    {
        ProgramState state;
        state.AcceptorVariant = variant;
        EepromRecord record = given;
        const CodecResult decoded = state.DecodeEepromImage(record, image, partial);
        FUZZ_CHECK(bool(decoded) == (LayoutOfVariant(variant) != EepromLayout::None));
        if (!decoded)
            FUZZ_CHECK(decoded.status == CodecStatus::NoLayout && record == given);

        EepromRecord defaults = given;
        const CodecResult loaded = state.LoadEepromDefaults(defaults);
        if (!loaded)
            FUZZ_CHECK(defaults == given);
        else
            FUZZ_CHECK(bool(CheckRecordFitsLayout(defaults, DefaultsLayoutOfVariant(variant))));

        EepromImage target = image;
        const CodecResult encoded = EncodeEepromImage(given, target);
        if (LayoutOfVariant(given.VariantCode) == EepromLayout::None)
            FUZZ_CHECK(encoded.status == CodecStatus::NoLayout && target == image);
    }
    return 0;
}
