#include "app/config/program_state.h"

namespace kovrin {

namespace {

CodecResult KeepLength(ProgramState& state, CodecResult result)
{
    if (result.length != 0)
        state.EepromLength = result.length;
    return result;
}

}  // namespace

CodecResult ProgramState::DecodeEepromImage(EepromRecord& record, const EepromImage& image, int32_t PartialDecode)
{
    return KeepLength(*this, kovrin::DecodeEepromImage(record, image, PartialDecode, AcceptorVariant));
}

CodecResult ProgramState::LoadEepromDefaults(EepromRecord& record)
{
    return KeepLength(*this, kovrin::LoadEepromDefaults(record, AcceptorVariant));
}

}  // namespace kovrin
