// Speaking text into WAV files with flite and espeak-ng.
#include "CSpeechSynth.h"
#include "FliteSpeech.h"
#include "SpokenText.h"
#include "TestSupport.h"
#include "VoiceId.h"

#include <QDir>

#include <QSettings>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kText = u"Heavy rain is expected in the north of the country tomorrow, "
                      "with strong winds along the coast."_s;

const QString kJapanese = u"jpx/ja"_s;

// The engine carries a little state from one text to the next, so the same text in the
// same voice comes out a few samples longer or shorter each time.
bool SameLength(qint64 a, qint64 b)
{
    return std::abs(a - b) <= b / 100;
}

struct WavFile
{
    QByteArray header;
    QByteArray samples;
};

// Splits a canonical 44-byte WAV file into its header and its samples.
WavFile ReadWav(const QString& path)
{
    const QByteArray bytes = ReadFile(path);
    return {bytes.left(44), bytes.mid(44)};
}

class SpeechTest : public ::testing::Test
{
protected:
    // Speaks kText and returns the samples; empty on failure.
    QByteArray Speak(const SpeechSettings& settings, const QString& text = kText,
                     const SpeechLimits& limits = {})
    {
        const QString wav = dir.filePath(u"item.wav"_s);
        if (!CSpeechSynth(settings, limits).Speak(text, wav, cache))
            return {};
        return ReadWav(wav).samples;
    }
    static qint64 Samples(const QByteArray& pcm) { return pcm.size() / 2; }
    // Lines of the log other than its first.
    QStringList Logged() const { return log.Lines().mid(1); }

    ScopedLog log;
    QTemporaryDir dir;
    const QString cache = u"/data/Voice/Heavy_rain_0123ABCD.html"_s;
};

} // namespace

TEST_F(SpeechTest, WavFileIs16kHz16BitMonoPcm)
{
    const QString wav = dir.filePath(u"item.wav"_s);
    ASSERT_TRUE(CSpeechSynth().Speak(kText, wav, cache));
    const WavFile file = ReadWav(wav);
    const char* h = file.header.constData();
    ASSERT_EQ(file.header.size(), 44);
    EXPECT_EQ(file.header.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(h + 4), quint32(36 + file.samples.size()));
    EXPECT_EQ(file.header.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<quint16>(h + 20), 1); // PCM
    EXPECT_EQ(qFromLittleEndian<quint16>(h + 22), 1); // mono
    EXPECT_EQ(qFromLittleEndian<quint32>(h + 24), 16000u);
    EXPECT_EQ(qFromLittleEndian<quint32>(h + 28), 32000u);
    EXPECT_EQ(qFromLittleEndian<quint16>(h + 32), 2);
    EXPECT_EQ(qFromLittleEndian<quint16>(h + 34), 16); // bits
    EXPECT_EQ(file.header.mid(36, 4), "data");
    EXPECT_EQ(qFromLittleEndian<quint32>(h + 40), quint32(file.samples.size()));
    // Two sentences at the normal rate take a few seconds.
    EXPECT_GT(Samples(file.samples), 3 * 16000);
    EXPECT_LT(Samples(file.samples), 12 * 16000);
    EXPECT_EQ(Logged(), QStringList());
}

TEST_F(SpeechTest, EmptyOrStaleVoiceSpeaksWithTheDefaultVoiceAndLogsNothing)
{
    const qint64 byDefault = Samples(Speak({u"flite/rms"_s, {}}));
    ASSERT_GT(byDefault, 0);
    EXPECT_PRED2(SameLength, Samples(Speak({})), byDefault);
    EXPECT_PRED2(SameLength, Samples(Speak({u"flite/no-such-voice"_s, {}})), byDefault);
    EXPECT_PRED2(SameLength, Samples(Speak({u"gmw/xx-no-such-voice"_s, {}})), byDefault);
    EXPECT_PRED2(
        SameLength,
        Samples(Speak(
            {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\Anna"_s, {}})),
        byDefault);
    EXPECT_EQ(Logged(), QStringList());
}

TEST(VoiceIdentifiers, CarryTheirEngineAndThoseWithoutOneAreEspeakVoices)
{
    EXPECT_EQ(VoiceId::Parse(u"flite/rms"_s), (VoiceId{SpeechEngine::Flite, u"rms"_s}));
    EXPECT_EQ(VoiceId::Parse(u"espeak/gmw/en-US"_s),
              (VoiceId{SpeechEngine::Espeak, u"gmw/en-US"_s}));
    EXPECT_EQ(VoiceId::Parse(u"gmw/de"_s), (VoiceId{SpeechEngine::Espeak, u"gmw/de"_s}));
    EXPECT_EQ(VoiceId::Parse(u"en"_s), (VoiceId{SpeechEngine::Espeak, u"en"_s}));
    EXPECT_EQ((VoiceId{SpeechEngine::Flite, u"slt"_s}).ToString(), u"flite/slt"_s);

    // The voice that speaks: the stored one in its full form, or the default.
    EXPECT_EQ(CSpeechSynth::ResolveVoice({}), u"flite/rms"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"flite/slt"_s), u"flite/slt"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"flite/gone"_s), u"flite/rms"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"gmw/de"_s), u"espeak/gmw/de"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"en-us"_s), u"espeak/gmw/en-US"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"espeak/gmw/en"_s), u"espeak/gmw/en"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"espeak/gmw/gone"_s), u"flite/rms"_s);
    EXPECT_EQ(CSpeechSynth::ResolveVoice(u"rms"_s), u"flite/rms"_s) << "no espeak-ng voice rms";
}

TEST_F(SpeechTest, EveryFliteRateStepIsADistinctSpeed)
{
    qint64 slower = 0;
    for (int rate = -10; rate <= 10; ++rate) {
        const qint64 samples = Samples(Speak({u"flite/rms"_s, rate}));
        ASSERT_GT(samples, 16000) << "rate " << rate;
        if (rate > -10) {
            EXPECT_LT(samples, slower * 97 / 100) << "rate " << rate;
        }
        slower = samples;
    }
    // An 8 kHz voice comes out at 16 kHz like the others, about as long.
    const qint64 narrow = Samples(Speak({u"flite/kal"_s, {}}));
    EXPECT_GT(narrow, 3 * 16000);
    EXPECT_LT(narrow, 8 * 16000);
    EXPECT_EQ(Logged(), QStringList());
}

TEST_F(SpeechTest, ChosenVoiceIsUsed)
{
    const qint64 english = Samples(Speak({}));
    // The Japanese voice spells English words out letter by letter.
    const qint64 japanese = Samples(Speak({kJapanese, {}}));
    EXPECT_GT(japanese, 2 * english);
    // A stale choice after a good one goes back to the default, not to the last voice.
    EXPECT_PRED2(SameLength, Samples(Speak({u"no-such-voice"_s, {}})), english);
}

TEST_F(SpeechTest, RatesGiveClearlyDifferentLengths)
{
    const qint64 slowest = Samples(Speak({{}, -10}));
    const qint64 normal = Samples(Speak({{}, 0}));
    const qint64 fastest = Samples(Speak({{}, 10}));
    ASSERT_GT(normal, 0);
    EXPECT_GT(slowest, normal * 3 / 2);
    EXPECT_LT(fastest, normal * 2 / 3);
    // Without a stored rate the voice speaks at its normal speed, whatever came before.
    EXPECT_PRED2(SameLength, Samples(Speak({})), normal);
}

TEST(SpeechRate, EveryStepIsADistinctSpeedWithinTheEnginesRange)
{
    EXPECT_EQ(CSpeechSynth::WordsPerMinute(-10), 80);
    EXPECT_EQ(CSpeechSynth::WordsPerMinute(0), 175);
    EXPECT_EQ(CSpeechSynth::WordsPerMinute(10), 450);
    EXPECT_EQ(CSpeechSynth::WordsPerMinute(-5), 118); // 175 x (80/175)^0.5
    EXPECT_EQ(CSpeechSynth::WordsPerMinute(5), 281);  // 175 x (450/175)^0.5
    for (int rate = -10; rate < 10; ++rate)
        EXPECT_LT(CSpeechSynth::WordsPerMinute(rate), CSpeechSynth::WordsPerMinute(rate + 1))
            << "rate " << rate;
}

TEST_F(SpeechTest, InvisibleBreaksInsideWordsAreNotSpoken)
{
    const QString plain = u"The unbelievably comfortable newspaper arrived."_s;
    const QString marked = u"The un\u00ADbeliev\u200Bably com\u200Cfort\u200Dable "
                           "\uFEFFnews\u2060pa\u00ADper arrived."_s;
    const qint64 expected = Samples(Speak({}, plain));
    ASSERT_GT(expected, 0);
    EXPECT_PRED2(SameLength, Samples(Speak({}, marked)), expected);
}

TEST(SpokenText, InvisibleBreaksGoAndLongTextsEndAtAWordBoundary)
{
    const SpokenText marked = PrepareSpokenText(u"\uFEFFnews\u00ADpa\u200Bper  day"_s, 10, 100);
    EXPECT_EQ(marked.text, u"newspaper  day"_s);
    EXPECT_EQ(marked.words, 2);
    EXPECT_FALSE(marked.cut);

    const SpokenText byWords = PrepareSpokenText(u"one two\n three four"_s, 2, 100);
    EXPECT_EQ(byWords.text, u"one two"_s);
    EXPECT_EQ(byWords.words, 2);
    EXPECT_TRUE(byWords.cut);

    const SpokenText byLength = PrepareSpokenText(u"alpha beta gamma"_s, 10, 13);
    EXPECT_EQ(byLength.text, u"alpha beta"_s);
    EXPECT_EQ(byLength.words, 2);
    EXPECT_TRUE(byLength.cut);
    EXPECT_EQ(PrepareSpokenText(u"abcdefghij"_s, 10, 4).text, u"abcd"_s) << "one long word";
}

TEST(FliteText, IsPlainAsciiWithoutTokensLongEnoughToStallTheEngine)
{
    EXPECT_EQ(FliteText(u"\u201CCaf\u00E9\u201D \u2013 na\u00EFve\u2026 \u4E2D"_s),
              QByteArray("\"Cafe\" ,  naive...  "));
    EXPECT_EQ(FliteText(QString(40, u'a')), QByteArray(32, 'a') + ' ' + QByteArray(8, 'a'));
}

TEST_F(SpeechTest, TooMuchTextIsCutAndSpeechThatCannotFitIsRefused)
{
    const qint64 whole = Samples(Speak({}));
    SpeechLimits fewWords;
    fewWords.maxWords = 4;
    EXPECT_LT(Samples(Speak({}, kText, fewWords)), whole / 2);
    EXPECT_EQ(Logged(), QStringList{u"*ITEM: text cut after 4 words: '%1'"_s.arg(cache)});

    // Seventeen words take about six seconds: 190 kB of samples.
    QString folder;
    SpeechLimits smallDisk;
    smallDisk.freeBytes = [&folder](const QString& path) {
        folder = path;
        return qint64(100000);
    };
    EXPECT_TRUE(Speak({}, kText, smallDisk).isEmpty());
    EXPECT_EQ(folder, dir.path());
    SpeechLimits shortWav;
    shortWav.maxWavDataBytes = 64000;
    EXPECT_TRUE(Speak({}, kText, shortWav).isEmpty());
    EXPECT_EQ(Logged().mid(1),
              (QStringList{u"*ITEM: not enough disk space for 1 MB of speech: '%1'"_s.arg(cache),
                           u"*ITEM: speech too long for a WAV file: '%1'"_s.arg(cache)}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList()) << "no partial file";
}

TEST(SpeechSettings, VoiceRateAndOpeningComeFromTheTtsSection)
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
    SpeechSettings settings = SpeechSettings::FromStore(store);
    EXPECT_TRUE(settings.voice.isEmpty());
    EXPECT_FALSE(settings.rate.has_value());
    EXPECT_TRUE(settings.opening) << "articles open with channel and title unless turned off";

    store.setValue(u"TTS/Opening"_s, false);
    EXPECT_FALSE(SpeechSettings::FromStore(store).opening);
    store.setValue(u"TTS/Voice"_s, u"roa/fr"_s);
    store.setValue(u"TTS/Rate"_s, -3);
    settings = SpeechSettings::FromStore(store);
    EXPECT_EQ(settings.voice, u"roa/fr"_s);
    EXPECT_EQ(settings.rate, -3);

    store.setValue(u"TTS/Rate"_s, u"fast"_s);
    EXPECT_FALSE(SpeechSettings::FromStore(store).rate.has_value());
}

TEST_F(SpeechTest, WavInAMissingFolderCannotBeBound)
{
    const QString wav = dir.filePath(u"no/such/folder/item.wav"_s);
    EXPECT_FALSE(CSpeechSynth().Speak(kText, wav, cache));
    EXPECT_EQ(Logged(), QStringList{u"*ITEM: cannot bind to file: '%1'"_s.arg(cache)});
}

TEST_F(SpeechTest, ExistingWavIsReplaced)
{
    const QString wav = dir.filePath(u"item.wav"_s);
    ASSERT_TRUE(WriteFile(wav, QByteArray(4 << 20, 'x')));
    ASSERT_TRUE(CSpeechSynth().Speak(kText, wav, cache));
    const WavFile file = ReadWav(wav);
    EXPECT_EQ(file.header.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(file.header.constData() + 40),
              quint32(file.samples.size()));
    EXPECT_LT(file.samples.size(), 4 << 20);
    EXPECT_FALSE(file.samples.contains(QByteArray(64, 'x')));
}

TEST_F(SpeechTest, EmptyTextGivesAnEmptyWav)
{
    const QString wav = dir.filePath(u"item.wav"_s);
    ASSERT_TRUE(CSpeechSynth().Speak(QString(), wav, cache));
    const WavFile file = ReadWav(wav);
    EXPECT_EQ(file.header.size(), 44);
    EXPECT_LT(file.samples.size(), 2 * 1600); // at most a pause
}

TEST_F(SpeechTest, TextBeyondAsciiIsSpoken)
{
    const QByteArray german = Speak({u"gmw/de"_s, {}}, u"Die Größe der Straße überrascht."_s);
    EXPECT_GT(Samples(german), 16000);
    EXPECT_EQ(Logged(), QStringList());
}

TEST_F(SpeechTest, ThreadsSpeakOneAtATime)
{
    const qint64 english = Samples(Speak({}));
    const qint64 japanese = Samples(Speak({kJapanese, {}}));
    std::vector<qint64> results(6);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] {
            const QString wav = dir.filePath(u"thread%1.wav"_s.arg(i));
            const SpeechSettings settings =
                i % 2 ? SpeechSettings{kJapanese, {}} : SpeechSettings{};
            if (CSpeechSynth(settings).Speak(kText, wav, cache))
                results[i] = Samples(ReadWav(wav).samples);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (size_t i = 0; i < results.size(); ++i)
        EXPECT_PRED2(SameLength, results[i], i % 2 ? japanese : english) << "thread " << i;
}

TEST(SpeechVoices, ListNamesTheVoicesOfBothEnginesWithTheirLanguage)
{
    const std::vector<SpeechVoice> voices = CSpeechSynth::Voices();
    ASSERT_GT(voices.size(), 10u);
    EXPECT_EQ(voices.front().id, u"flite/rms"_s) << "the default voice comes first";
    const auto find = [&](const QString& id) {
        return std::find_if(voices.begin(), voices.end(),
                            [&](const SpeechVoice& v) { return v.id == id; });
    };
    for (const auto& [id, language] :
         {std::pair{u"flite/slt"_s, u"en-us"_s}, std::pair{u"flite/kal"_s, u"en-us"_s},
          std::pair{u"espeak/gmw/en"_s, u"en-gb"_s}, std::pair{u"espeak/gmw/de"_s, u"de"_s}}) {
        const auto voice = find(id);
        ASSERT_NE(voice, voices.end()) << qPrintable(id);
        EXPECT_EQ(voice->language, language);
        EXPECT_FALSE(voice->name.isEmpty());
    }
    for (const SpeechVoice& voice : voices)
        EXPECT_TRUE(voice.id.startsWith(u"flite/"_s) || voice.id.startsWith(u"espeak/"_s));
}
