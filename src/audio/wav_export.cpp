#include "audio/wav_export.h"

#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "support/atomic_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace kellix {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

void WriteWavHeader(uint8_t* h, uint32_t dataBytes, int channels) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, static_cast<uint16_t>(channels));
    Put32(h + 24, 44100);
    Put32(h + 28, static_cast<uint32_t>(44100 * 2 * channels));
    Put16(h + 32, static_cast<uint16_t>(2 * channels));
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

bool ExportWav(const TTrack& song, const SampleSet& samples, const MasterEffects& effects,
               const std::string& path, std::string* error, const ExportProgress& progress,
               int64_t tailFrames) {
    auto fail = [&](const std::string& message) {
        if (error) {
            *error = message;
        }
        return false;
    };
    const int64_t frames = SongFrames(song);
    if (frames < 0 || tailFrames < 0) {
        return fail("Cannot export \"" + path + "\": the song's length is negative");
    }
    const int64_t total = (frames + std::min<int64_t>(tailFrames, kFarFrames)) * 4;
    // The RIFF size field (data + 36) must fit 32 bits.
    if (total > int64_t{0xFFFFFFFF} - 36) {
        return fail("Cannot export \"" + path + "\": the song" +
                    (tailFrames > 0 ? " and its tail are" : " is") + " too long for a WAV file");
    }

    AtomicFile file;
    std::string fileError;
    if (!AtomicFileOpen(file, path, &fileError)) {
        return fail(fileError);
    }
    uint8_t header[kWavHeaderSize];
    WriteWavHeader(header, static_cast<uint32_t>(total));
    // The header goes out in the two pieces a reader of the format expects: 36 and 8 bytes.
    bool ok = AtomicFileWrite(file, header, 36, &fileError) &&
              AtomicFileWrite(file, header + 36, 8, &fileError);

    SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
    mixer->Effects = effects;
    PlaySong(mixer, song, samples, 0);
    // The mixer restarts every voice's resampling and envelope at each block start, so the file
    // is mixed in the quarter-second blocks of live playback: it then holds exactly what is
    // heard. The one-second buffer is the mixer's ring; each quarter is written as it is mixed.
    std::vector<uint8_t> ring(static_cast<std::size_t>(mixer->Size));
    int64_t remaining = total;
    while (ok && remaining > 0) {
        const int32_t at = mixer->WritePos;
        MixBlock(mixer, ring.data(), kExportBlockFrames);
        int64_t part = std::min<int64_t>(kExportBlockFrames * 4, remaining);
        ok = AtomicFileWrite(file, ring.data() + at, static_cast<std::size_t>(part), &fileError);
        remaining -= part;
        if (ok && progress && !progress(total - remaining, total)) {
            ok = false;
            fileError = "Cannot export \"" + path + "\": cancelled";
        }
    }
    ClearVoices(mixer);
    FreeSoundBuffer(mixer);

    if (!ok) {
        AtomicFileAbort(file);
        return fail(fileError);
    }
    if (!AtomicFileCommit(file, &fileError)) {
        return fail(fileError);
    }
    return true;
}

} // namespace kellix
