// The driver table: one line per driver family, keyed by output format identifier.
// A new driver adds its factory's declaration to its own header and one line here.
#include "app/Settings.h"
#include "encoders/Encoder.h"
#include "encoders/EncodeMp2.h"
#include "encoders/EncodeMp3.h"
#include "encoders/EncodeFlac.h"
#include "encoders/EncodeOggVorbis.h"
#include "encoders/EncodeWavPack.h"

namespace quarrow {

const std::vector<EncoderTableEntry>& EncoderTable() {
    static const std::vector<EncoderTableEntry> table = {
        {1, 1, &MakeSndfileEncoder},
        {9, 9, &MakeSndfileEncoder},
        {13, 30, &MakeSndfileEncoder},
        {2, 2, &MakeMp3Encoder},
        {7, 7, &MakeMp2Encoder},
        {4, 4, &MakeOggVorbisEncoder},
        {6, 6, &MakeFlacEncoder},
        {12, 12, &MakeWavPackEncoder},
    };
    return table;
}

std::unique_ptr<CEncoder> CreateEncoder(const CSettings& settings) {
    const int id = settings.OUTPUT.OutputFormat;
    if (id < 1 || id > 31) return nullptr;
    for (const EncoderTableEntry& e : EncoderTable()) {
        if (id >= e.firstId && id <= e.lastId) return e.make(settings, id);
    }
    return nullptr;
}

}  // namespace quarrow
