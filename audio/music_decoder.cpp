#include <cstring>
#include <minimp3.h>

#include "audio/music_player.h"

bool loadResource(uint16_t id, const void **data, uint32_t *size) {
    const void *bytes = nullptr;
    uint32_t length = 0;
    if (!resourceBytes(id, &bytes, &length))
        return false;
    *data = bytes;
    *size = length;
    return bytes != nullptr && length != 0;
}

bool grownMusicCapacity(uint64_t newTotal, uint32_t *capacity) {
    // The buffer holds twice the total at two bytes a sample: 4 x total bytes, in 32 bits.
    if (newTotal * 4 > UINT32_MAX)
        return false;
    *capacity = static_cast<uint32_t>(newTotal * 2);
    return true;
}

bool decodeMusic(const uint8_t *data, uint32_t size) {
    const MusicSystemCalls &calls = musicCalls();
    mp3dec_t decoder;
    mp3dec_init(&decoder);
    mp3dec_frame_info_t info;
    std::memset(&info, 0, sizeof info);
    int16_t frame[MINIMP3_MAX_SAMPLES_PER_FRAME];

    uint32_t capacity = musicFirstCapacity;
    int16_t *loop = static_cast<int16_t *>(calls.allocate(size_t{capacity} * 2));
    if (loop == nullptr)
        return false;
    if (size == 0) {
        calls.release(loop);
        return false;
    }

    uint32_t offset = 0;
    uint32_t total = 0;
    int32_t channels = 0; // none yet
    int32_t rate = 0;
    while (offset < size) {
        const int perChannel = mp3dec_decode_frame(&decoder, data + offset,
                                                   static_cast<int>(size - offset), frame, &info);
        if (info.frame_bytes <= 0)
            break; // no progress: keep what has been decoded
        offset += static_cast<uint32_t>(info.frame_bytes);
        if (perChannel <= 0)
            continue; // a tag, junk, a truncated or undecodable frame
        if (channels == 0) {
            channels = info.channels;
            rate = info.hz;
        }
        const uint32_t count = static_cast<uint32_t>(info.channels * perChannel);
        const uint64_t newTotal = uint64_t{total} + count;
        if (newTotal > capacity) {
            uint32_t grown = 0;
            void *resized = grownMusicCapacity(newTotal, &grown)
                                ? calls.resize(loop, size_t{grown} * 2)
                                : nullptr;
            if (resized == nullptr) {
                calls.release(loop);
                return false;
            }
            loop = static_cast<int16_t *>(resized);
            capacity = grown;
        }
        std::memcpy(loop + total, frame, size_t{count} * 2);
        total = static_cast<uint32_t>(newTotal);
    }
    if (total == 0 || channels == 0) {
        calls.release(loop);
        return false;
    }

    musicPlayer.playPosition = 0;
    musicPlayer.sampleRate = rate;
    musicPlayer.pcm = loop;
    musicPlayer.pcmSamples = total;
    musicPlayer.channels = channels;
    return true;
}
