// Which voice speaks a page, and what is said before its text.
#include "ArticleCache.h"
#include "CVoiceConverter.h"
#include "SpokenText.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class VoiceChoiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The page's text without its tags.
        converter.SetScriptText("($output_stream = $input_stream) =~ s/<[^>]*>/ /g;");
    }
    // The voice that spoke the page; empty on failure.
    QString VoiceFor(const QByteArray& page, const QString& contentLanguage,
                     const QString& chosen = u"flite/slt"_s)
    {
        EXPECT_TRUE(
            WriteArticleCacheFile(cache, u"text/html; charset=utf-8"_s, contentLanguage, page));
        QString used;
        return converter.PageToWav(cache, wav, {chosen, {}}, {}, &used) ? used : QString();
    }
    qint64 PageSamples(const QString& opening)
    {
        const QByteArray page = "<html><body><p>The new harbour bridge opened this morning "
                                "after three years of work.</p></body></html>";
        EXPECT_TRUE(WriteArticleCacheFile(cache, u"text/html"_s, {}, page));
        return converter.PageToWav(cache, wav, {}, opening) ? (ReadFile(wav).size() - 44) / 2 : 0;
    }

    ScopedLog log;
    QTemporaryDir dir;
    const QString cache = dir.filePath(u"page.html"_s);
    const QString wav = dir.filePath(u"page.wav"_s);
    CVoiceConverter converter{BinDir() + u'/'};
};

} // namespace

TEST_F(VoiceChoiceTest, ThePagesLanguagePicksAVoiceThatSpeaksIt)
{
    EXPECT_EQ(VoiceFor("<html lang=\"de\"><p>Guten Morgen aus Berlin.</p></html>", {}),
              u"espeak/gmw/de"_s);
    EXPECT_EQ(VoiceFor("<html><p>Bonjour de Paris.</p></html>", u"fr"_s), u"espeak/roa/fr"_s);
    EXPECT_EQ(VoiceFor("<HTML xml:lang='fr-BE' class=x><p>Bonjour.</p></HTML>", {}),
              u"espeak/roa/fr-BE"_s)
        << "a voice of the very region when there is one";
    // The page's own declaration goes before the header's.
    EXPECT_EQ(VoiceFor("<html lang=\"en-GB\"><p>Good morning from London.</p></html>", u"de"_s),
              u"flite/slt"_s)
        << "the chosen voice keeps every article in its language";
    EXPECT_EQ(VoiceFor("<html><p>Good morning.</p></html>", {}), u"flite/slt"_s)
        << "no declared language: the chosen voice";
    EXPECT_EQ(VoiceFor("<html lang=\"en\"><p>Good morning.</p></html>", {}, u"espeak/gmw/de"_s),
              u"espeak/gmw/en"_s);
    EXPECT_EQ(VoiceFor("<html lang=\"xx-none\"><p>Good morning.</p></html>", {}), u"flite/slt"_s)
        << "a language no voice speaks: the chosen voice";
    EXPECT_EQ(log.Lines().mid(1), QStringList());
}

TEST_F(VoiceChoiceTest, TheOpeningIsSpokenBeforeTheText)
{
    EXPECT_EQ(SpokenOpening(u"Local news"_s, u"Harbour  bridge opens"_s),
              u"Local news. Harbour bridge opens."_s);
    EXPECT_EQ(SpokenOpening(u" "_s, u"Who won?"_s), u"Who won?"_s);

    const QString opening = SpokenOpening(u"Local news"_s, u"Harbour bridge opens"_s);
    const qint64 without = PageSamples({});
    const qint64 with = PageSamples(opening);
    ASSERT_TRUE(CSpeechSynth().Speak(opening, wav, cache));
    const qint64 alone = (ReadFile(wav).size() - 44) / 2;
    ASSERT_GT(alone, 16000);
    EXPECT_NEAR(double(with - without), double(alone), alone * 0.25);
}
