#pragma once

#include <QString>
#include <memory>

// The ID3v2 tag of a made MP3 file: what portable players list the news by.
struct Mp3Tag
{
    QString title;  // the item's plain title
    QString artist; // the channel's name
    QString album = QStringLiteral("Calvoria");
    QString comment; // the item's link
    qint64 time = 0; // publication, seconds since 1970 UTC: the local year and date; 0: none
};

// Encodes 16 kHz, 16-bit, mono PCM WAV files into MP3 files (MPEG-2 Layer III, constant
// 64 kbit/s) with libmp3lame, which is opened at run time. Encoding needs no lock: every
// file gets an encoder of its own.
class CMp3Encoder
{
public:
    enum class LoadResult
    {
        Loaded,
        LibraryMissing,  // the library cannot be opened
        FunctionMissing, // it lacks a function that encoding needs
    };

    static constexpr char DefaultLibrary[] = "libmp3lame.so.0";

    CMp3Encoder();
    ~CMp3Encoder();
    CMp3Encoder(const CMp3Encoder&) = delete;
    CMp3Encoder& operator=(const CMp3Encoder&) = delete;

    // Unloads first; on failure nothing stays loaded and LoadError() says why.
    LoadResult Load(const QString& library = QString::fromLatin1(DefaultLibrary));
    void Unload();
    bool IsLoaded() const { return m_api != nullptr; }
    QString LoadError() const { return m_loadError; }

    // Encodes the "data" chunk of wavPath into mp3Path (created or emptied), with the tag
    // when one is given. Failures are logged with "*ITEM: " lines naming mp3Path; without a
    // loaded library the result is false and nothing is logged. What was written of the MP3
    // file stays: the caller deletes it.
    bool Encode(const QString& wavPath, const QString& mp3Path, const Mp3Tag* tag = nullptr) const;

private:
    struct Api;
    void* m_library = nullptr;
    std::unique_ptr<Api> m_api;
    QString m_loadError;
};
