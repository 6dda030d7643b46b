#include "live_scan.h"

#include <algorithm>
#include <vector>

#include "file_play.h"
#include "ts_aligner.h"

namespace {

// Where the first packet starts, found as FilePlay finds it, so the offsets agree.
bool FindStart(PlayFile* file, const std::string& path, std::vector<uint8_t>* chunk, uint64_t* start,
               std::string* why)
{
    size_t got = 0;
    if (!file->Seek(0, why) || !file->Read(chunk->data(), chunk->size(), &got, why)) {
        *why = "cannot read " + path + " (" + *why + ")";
        return false;
    }
    *start = TsAlignmentOffset(chunk->data(), got);
    if (*start < got)
        return true;
    *why = "cannot play " + path + " live: it holds no transport stream";
    return false;
}

} // namespace

bool ScanLiveIndex(PlayFile* file, const std::string& path, const std::function<bool()>& stopped,
                   LiveIndex* out, std::string* why)
{
    uint64_t size = 0;
    if (!file->Size(&size, why)) {
        *why = "cannot read the size of " + path + " (" + *why + ")";
        return false;
    }
    std::vector<uint8_t> chunk(FILE_PLAY_CHUNK_BYTES);
    uint64_t start = 0;
    if (!FindStart(file, path, &chunk, &start, why))
        return false;
    uint64_t usable = size - std::min(start, size);
    usable -= usable % TS_PACKET_BYTES;     // a loop plays whole packets only
    LiveIndexBuilder builder;
    uint64_t offset = 0;
    if (!file->Seek(start, why)) {
        *why = "cannot read " + path + " (" + *why + ")";
        return false;
    }
    while (offset < usable) {
        if (stopped()) {
            why->clear();
            return false;
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), usable - offset));
        size_t got = 0;
        if (!file->Read(chunk.data(), want, &got, why)) {
            *why = "cannot read " + path + " (" + *why + ")";
            return false;
        }
        got -= got % TS_PACKET_BYTES;
        for (size_t at = 0; at < got; at += TS_PACKET_BYTES)
            builder.Add(&chunk[at], offset + at);
        offset += got;
        if (got < want)
            usable = offset;    // cut while read: the index covers what is there now
    }
    return builder.Finish(path, start, usable, out, why);
}
