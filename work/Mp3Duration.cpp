#include "Mp3Duration.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 kFramesWindow = 16 * 1024;

struct FrameHeader
{
    bool mpeg1 = false;
    bool mono = false;
    int bitrate = 0;    // bits per second
    int sampleRate = 0; // Hz
    int samples = 0;    // per frame
    int length = 0;     // bytes, padding included
};

quint32 BigEndian32(const uchar* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

// Layer III only: podcasts and our own files are all layer III.
bool ReadFrameHeader(const uchar* p, FrameHeader& header)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int version = (p[1] >> 3) & 3; // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    const int layer = (p[1] >> 1) & 3;   // 1: layer III
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;
    static constexpr int kMpeg1Rates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr int kMpeg2Rates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static constexpr int kSampleRates[] = {44100, 48000, 32000};
    header.mpeg1 = version == 3;
    header.mono = (p[3] >> 6) == 3;
    header.bitrate = (header.mpeg1 ? kMpeg1Rates : kMpeg2Rates)[bitrateIndex] * 1000;
    header.sampleRate = kSampleRates[rateIndex] >> (header.mpeg1 ? 0 : version == 2 ? 1 : 2);
    header.samples = header.mpeg1 ? 1152 : 576;
    const int padding = (p[2] >> 1) & 1;
    header.length = header.samples / 8 * header.bitrate / header.sampleRate + padding;
    return true;
}

// The number of frames a Xing/Info or VBRI header of the frame at p gives, or 0.
qint64 FrameCountOf(const uchar* p, qint64 available, const FrameHeader& header)
{
    const qint64 xing = 4 + (header.mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17));
    if (xing + 12 <= available && (std::memcmp(p + xing, "Xing", 4) == 0 ||
                                   std::memcmp(p + xing, "Info", 4) == 0)) {
        if (BigEndian32(p + xing + 4) & 1)
            return BigEndian32(p + xing + 8);
        return 0;
    }
    constexpr qint64 vbri = 4 + 32;
    if (vbri + 18 <= available && std::memcmp(p + vbri, "VBRI", 4) == 0)
        return BigEndian32(p + vbri + 14);
    return 0;
}

} // namespace

qint64 Mp3DurationMsOf(QByteArrayView frames, qint64 audioBytes)
{
    const auto* data = reinterpret_cast<const uchar*>(frames.data());
    const qint64 size = frames.size();
    for (qint64 at = 0; at + 4 <= size; ++at) {
        FrameHeader first;
        if (!ReadFrameHeader(data + at, first))
            continue;
        // A sync pattern inside other data is no frame: the next frame must follow it,
        // when there is room to see it.
        FrameHeader next;
        const qint64 following = at + first.length;
        if (following + 4 <= size &&
            (!ReadFrameHeader(data + following, next) || next.sampleRate != first.sampleRate ||
             next.mpeg1 != first.mpeg1))
            continue;
        if (const qint64 count = FrameCountOf(data + at, size - at, first); count > 0)
            return count * first.samples * 1000 / first.sampleRate;
        const qint64 bytes = audioBytes - at;
        return bytes > 0 ? bytes * 8000 / first.bitrate : 0;
    }
    return 0;
}

namespace {

bool ReadAt(int fd, char* buffer, qint64 length, qint64 offset, qint64& got)
{
    got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, buffer + got, size_t(length - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        got += n;
    }
    return true;
}

qint64 ReadDuration(int fd, qint64 size)
{
    // ID3v2 tags (there may be more than one) come first: their sizes say where the audio
    // begins, however large the pictures in them.
    qint64 start = 0;
    char tag[10];
    qint64 got = 0;
    while (start + 10 <= size && ReadAt(fd, tag, 10, start, got) && got == 10 &&
           std::memcmp(tag, "ID3", 3) == 0) {
        const auto* t = reinterpret_cast<const uchar*>(tag);
        if ((t[6] | t[7] | t[8] | t[9]) & 0x80)
            break; // not a syncsafe size: no tag
        const qint64 length = qint64(t[6]) << 21 | qint64(t[7]) << 14 | qint64(t[8]) << 7 | t[9];
        start += 10 + length + ((t[5] & 0x10) ? 10 : 0);
    }
    qint64 end = size;
    if (size - start >= 128 && ReadAt(fd, tag, 3, size - 128, got) && got == 3 &&
        std::memcmp(tag, "TAG", 3) == 0)
        end -= 128;
    if (end <= start)
        return 0;
    QByteArray frames(int(std::min(kFramesWindow, end - start)), Qt::Uninitialized);
    if (!ReadAt(fd, frames.data(), frames.size(), start, got))
        return 0;
    return Mp3DurationMsOf(QByteArrayView(frames).first(got), end - start);
}

struct CachedDuration
{
    qint64 size;
    qint64 mtime;
    qint64 ms;
};

} // namespace

qint64 Mp3DurationMs(const QString& path, qint64 size, qint64 mtime)
{
    static QMutex lock;
    static QHash<QString, CachedDuration> cache;
    {
        QMutexLocker guard(&lock);
        const auto found = cache.constFind(path);
        if (found != cache.cend() && found->size == size && found->mtime == mtime)
            return found->ms;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    const qint64 ms = ReadDuration(fd, size);
    ::close(fd);
    QMutexLocker guard(&lock);
    if (cache.size() > 20000) // files come and go for months: start again now and then
        cache.clear();
    cache.insert(path, {size, mtime, ms});
    return ms;
}
