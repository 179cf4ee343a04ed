#include "CMp3Encoder.h"

#include "CAppLog.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <vector>

namespace {

using Lame = void*; // lame_global_flags*

// Values of the library's published interface.
constexpr int kModeMono = 3;
constexpr int kVbrOff = 0;
constexpr int kSampleRate = 16000;
constexpr int kBitrateKbps = 64;
// Algorithm quality 5 of 0 (best) ... 9 (fastest): LAME's own choice for speech.
constexpr int kVoiceQuality = 5;

void LogEncoding(const char* format, const QString& mp3Path)
{
    LogFormat(format, qUtf8Printable(mp3Path));
}

bool IsLatin1(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x100; });
}

// The library's UTF-16 text: a byte order mark first, zero at the end.
std::vector<unsigned short> Utf16(const QString& text)
{
    std::vector<unsigned short> units;
    units.reserve(size_t(text.size()) + 2);
    units.push_back(0xFEFF);
    for (const QChar c : text)
        units.push_back(c.unicode());
    units.push_back(0);
    return units;
}

} // namespace

struct CMp3Encoder::Api
{
    Lame (*lame_init)();
    int (*lame_close)(Lame);
    int (*lame_set_in_samplerate)(Lame, int);
    int (*lame_set_out_samplerate)(Lame, int);
    int (*lame_set_num_channels)(Lame, int);
    int (*lame_set_mode)(Lame, int);
    int (*lame_set_brate)(Lame, int);
    int (*lame_set_VBR)(Lame, int);
    int (*lame_set_quality)(Lame, int);
    int (*lame_set_original)(Lame, int);
    int (*lame_set_error_protection)(Lame, int);
    int (*lame_set_bWriteVbrTag)(Lame, int);
    void (*lame_set_write_id3tag_automatic)(Lame, int);
    int (*lame_init_params)(Lame);
    int (*lame_get_framesize)(Lame);
    int (*lame_encode_buffer)(Lame, const short*, const short*, int, unsigned char*, int);
    int (*lame_encode_flush)(Lame, unsigned char*, int);
    size_t (*lame_get_id3v2_tag)(Lame, unsigned char*, size_t);
    void (*id3tag_init)(Lame);
    void (*id3tag_v2_only)(Lame);
    void (*id3tag_set_title)(Lame, const char*);
    void (*id3tag_set_artist)(Lame, const char*);
    void (*id3tag_set_album)(Lame, const char*);
    void (*id3tag_set_year)(Lame, const char*);
    void (*id3tag_set_comment)(Lame, const char*);
    int (*id3tag_set_fieldvalue)(Lame, const char*);
    int (*id3tag_set_textinfo_utf16)(Lame, const char*, const unsigned short*);
    int (*id3tag_set_comment_utf16)(Lame, const char*, const unsigned short*,
                                    const unsigned short*);

    // Sets the tag's frames; call before lame_init_params.
    void SetTag(Lame lame, const Mp3Tag& tag) const
    {
        id3tag_init(lame);
        id3tag_v2_only(lame);
        SetText(lame, "TIT2", tag.title, id3tag_set_title);
        SetText(lame, "TPE1", tag.artist, id3tag_set_artist);
        SetText(lame, "TALB", tag.album, id3tag_set_album);
        if (!tag.comment.isEmpty()) {
            if (IsLatin1(tag.comment))
                id3tag_set_comment(lame, tag.comment.toLatin1().constData());
            else
                id3tag_set_comment_utf16(lame, nullptr, nullptr, Utf16(tag.comment).data());
        }
        if (tag.time > 0) {
            const QDate date = QDateTime::fromSecsSinceEpoch(tag.time).date();
            if (date.isValid() && date.year() > 0 && date.year() <= 9999) {
                id3tag_set_year(lame, QByteArray::number(date.year()).constData());
                const QByteArray day = QByteArray::number(date.day()).rightJustified(2, '0') +
                                       QByteArray::number(date.month()).rightJustified(2, '0');
                id3tag_set_fieldvalue(lame, ("TDAT=" + day).constData());
            }
        }
    }

    void SetText(Lame lame, const char* frame, const QString& text,
                 void (*setLatin1)(Lame, const char*)) const
    {
        if (text.isEmpty())
            return;
        if (IsLatin1(text))
            setLatin1(lame, text.toLatin1().constData());
        else
            id3tag_set_textinfo_utf16(lame, frame, Utf16(text).data());
    }
};

namespace {

// Closes the library's encoder on every path.
class CLameHandle
{
public:
    CLameHandle(int (*close)(Lame), Lame lame) : m_close(close), m_lame(lame) {}
    ~CLameHandle()
    {
        if (m_lame)
            m_close(m_lame);
    }
    CLameHandle(const CLameHandle&) = delete;
    CLameHandle& operator=(const CLameHandle&) = delete;
    Lame get() const { return m_lame; }

private:
    int (*m_close)(Lame);
    Lame m_lame;
};

} // namespace

CMp3Encoder::CMp3Encoder() = default;

CMp3Encoder::~CMp3Encoder()
{
    Unload();
}

CMp3Encoder::LoadResult CMp3Encoder::Load(const QString& library)
{
    Unload();
    m_library = ::dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library) {
        const char* error = ::dlerror();
        m_loadError = error ? QString::fromLocal8Bit(error) : library;
        return LoadResult::LibraryMissing;
    }
    auto api = std::make_unique<Api>();
    const char* missing = nullptr;
    const auto resolve = [&](auto& function, const char* name) {
        if (missing)
            return;
        void* symbol = ::dlsym(m_library, name);
        if (!symbol)
            missing = name;
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
    };
#define CALVORIA_RESOLVE(name) resolve(api->name, #name)
    CALVORIA_RESOLVE(lame_init);
    CALVORIA_RESOLVE(lame_close);
    CALVORIA_RESOLVE(lame_set_in_samplerate);
    CALVORIA_RESOLVE(lame_set_out_samplerate);
    CALVORIA_RESOLVE(lame_set_num_channels);
    CALVORIA_RESOLVE(lame_set_mode);
    CALVORIA_RESOLVE(lame_set_brate);
    CALVORIA_RESOLVE(lame_set_VBR);
    CALVORIA_RESOLVE(lame_set_quality);
    CALVORIA_RESOLVE(lame_set_original);
    CALVORIA_RESOLVE(lame_set_error_protection);
    CALVORIA_RESOLVE(lame_set_bWriteVbrTag);
    CALVORIA_RESOLVE(lame_set_write_id3tag_automatic);
    CALVORIA_RESOLVE(lame_init_params);
    CALVORIA_RESOLVE(lame_get_framesize);
    CALVORIA_RESOLVE(lame_encode_buffer);
    CALVORIA_RESOLVE(lame_encode_flush);
    CALVORIA_RESOLVE(lame_get_id3v2_tag);
    CALVORIA_RESOLVE(id3tag_init);
    CALVORIA_RESOLVE(id3tag_v2_only);
    CALVORIA_RESOLVE(id3tag_set_title);
    CALVORIA_RESOLVE(id3tag_set_artist);
    CALVORIA_RESOLVE(id3tag_set_album);
    CALVORIA_RESOLVE(id3tag_set_year);
    CALVORIA_RESOLVE(id3tag_set_comment);
    CALVORIA_RESOLVE(id3tag_set_fieldvalue);
    CALVORIA_RESOLVE(id3tag_set_textinfo_utf16);
    CALVORIA_RESOLVE(id3tag_set_comment_utf16);
#undef CALVORIA_RESOLVE
    if (missing) {
        m_loadError = QStringLiteral("%1: no %2").arg(library, QString::fromLatin1(missing));
        Unload();
        return LoadResult::FunctionMissing;
    }
    m_api = std::move(api);
    m_loadError.clear();
    return LoadResult::Loaded;
}

void CMp3Encoder::Unload()
{
    m_api.reset();
    if (m_library)
        ::dlclose(m_library);
    m_library = nullptr;
}

bool CMp3Encoder::Encode(const QString& wavPath, const QString& mp3Path, const Mp3Tag* tag) const
{
    if (!m_api)
        return false;
    const Api& api = *m_api;

    // The samples are read straight from the mapping.
    QFile wav(wavPath);
    if (!wav.open(QIODevice::ReadOnly)) {
        LogEncoding("*ITEM: cannot read wav: '%s'", mp3Path);
        return false;
    }
    const qint64 size = wav.size();
    const uchar* bytes = size > 0 ? wav.map(0, size) : nullptr;
    if (size > 0 && !bytes) {
        LogEncoding("*ITEM: cannot read wav: '%s'", mp3Path);
        return false;
    }
    if (size < 12 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        LogEncoding("*ITEM: wav format is incorrect: '%s'", mp3Path);
        return false;
    }
    // Chunks follow one another without padding after odd sizes; the format chunk is not
    // read: the file is taken to be 16 kHz, 16-bit mono.
    const uchar* data = nullptr;
    qint64 dataBytes = 0;
    for (qint64 at = 12; size - at >= 8;) {
        const qint64 chunkBytes = qFromLittleEndian<quint32>(bytes + at + 4);
        if (chunkBytes > size - at - 8) {
            LogEncoding("*ITEM: wav format is incorrect 3: '%s'", mp3Path);
            return false;
        }
        if (std::memcmp(bytes + at, "data", 4) == 0) {
            data = bytes + at + 8;
            dataBytes = chunkBytes;
            break;
        }
        at += 8 + chunkBytes;
    }
    if (!data) {
        LogEncoding("*ITEM: wav format is incorrect 2: '%s'", mp3Path);
        return false;
    }

    QFile mp3(mp3Path);
    if (!mp3.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        LogEncoding("*ITEM: cannot create MP3: '%s'", mp3Path);
        return false;
    }

    const CLameHandle lame(api.lame_close, api.lame_init());
    if (lame.get()) {
        api.lame_set_in_samplerate(lame.get(), kSampleRate);
        api.lame_set_out_samplerate(lame.get(), kSampleRate);
        api.lame_set_num_channels(lame.get(), 1);
        api.lame_set_mode(lame.get(), kModeMono);
        api.lame_set_VBR(lame.get(), kVbrOff);
        api.lame_set_brate(lame.get(), kBitrateKbps);
        api.lame_set_quality(lame.get(), kVoiceQuality);
        api.lame_set_original(lame.get(), 1);
        api.lame_set_error_protection(lame.get(), 0);
        api.lame_set_bWriteVbrTag(lame.get(), 0);
        api.lame_set_write_id3tag_automatic(lame.get(), 0);
        if (tag)
            api.SetTag(lame.get(), *tag);
    }
    if (!lame.get() || api.lame_init_params(lame.get()) < 0) {
        LogEncoding("*ITEM: init Mp3 stream: '%s'", mp3Path);
        return false;
    }

    const int chunkSamples = std::max(api.lame_get_framesize(lame.get()), 576);
    std::vector<unsigned char> out;
    std::vector<short> aligned; // only for samples at an odd address or on big-endian hosts
    try {
        // The library's own bound for one call, flush included.
        out.resize(size_t(chunkSamples) * 5 / 4 + 7200);
        if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN || quintptr(data) % alignof(short) != 0)
            aligned.resize(size_t(chunkSamples));
    } catch (const std::bad_alloc&) {
        LogEncoding("*ITEM: not enough memory for buffer MP3: '%s'", mp3Path);
        return false;
    }
    const auto append = [&](int produced) {
        return produced <= 0 ||
               mp3.write(reinterpret_cast<const char*>(out.data()), produced) == produced;
    };

    if (tag) {
        std::vector<unsigned char> id3(api.lame_get_id3v2_tag(lame.get(), nullptr, 0));
        if (!id3.empty() &&
            (api.lame_get_id3v2_tag(lame.get(), id3.data(), id3.size()) != id3.size() ||
             mp3.write(reinterpret_cast<const char*>(id3.data()), qint64(id3.size())) !=
                 qint64(id3.size()))) {
            LogEncoding("*ITEM: error in chunk encoding MP3: '%s'", mp3Path);
            return false;
        }
    }

    // An odd last byte is not a sample.
    const qint64 samples = dataBytes / 2;
    for (qint64 done = 0; done < samples;) {
        const int n = int(std::min<qint64>(chunkSamples, samples - done));
        const short* pcm = reinterpret_cast<const short*>(data + 2 * done);
        if (!aligned.empty()) {
            for (int i = 0; i < n; ++i)
                aligned[size_t(i)] = qFromLittleEndian<qint16>(data + 2 * (done + i));
            pcm = aligned.data();
        }
        const int produced =
            api.lame_encode_buffer(lame.get(), pcm, pcm, n, out.data(), int(out.size()));
        if (produced < 0 || !append(produced)) {
            LogEncoding("*ITEM: error in chunk encoding MP3: '%s'", mp3Path);
            return false;
        }
        done += n;
    }
    const int flushed = api.lame_encode_flush(lame.get(), out.data(), int(out.size()));
    return flushed >= 0 && append(flushed) && mp3.flush();
}
