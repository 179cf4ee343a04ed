#include "StringTable.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Expected
{
    int id;
    QString text;
};

class StringTableText : public ::testing::TestWithParam<Expected>
{
};

TEST_P(StringTableText, LoadsExactly)
{
    EXPECT_EQ(LoadString(GetParam().id), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    StartUpFailures, StringTableText,
    ::testing::Values(
        Expected{100, u"OLE initialization failed.  Make sure that the OLE libraries are the "
                      u"correct version."_s},
        Expected{104, u"Windows sockets initialization failed."_s},
        Expected{105, u"MP3 encoder initialization failed."_s},
        Expected{106, u"Cannot create internal folders. Make sure you have access rights."_s},
        Expected{109, u"Microsoft XML parser initialization failed. Please, reinstall MSXML."_s}));

INSTANTIATE_TEST_SUITE_P(
    ViewsAndDialogs, StringTableText,
    ::testing::Values(
        Expected{130, u"Favorite Channels"_s}, Expected{140, u"My Feeds"_s},
        Expected{142, u"Search Result"_s}, Expected{147, u"Source"_s},
        Expected{159, u"Update All"_s},
        Expected{161, u"No any prepared news were found for coping. Please try again later."_s},
        Expected{168, u"Your search did not match any news. <br /><br /> Suggestions: "
                      u"<ul><li>Try different keywords.</li><li>Try more general "
                      u"keywords.</li></ul>"_s},
        Expected{32858, u"Total 0000, unread 000"_s},
        Expected{60001, u"Are you sure you want to delete this group and all subchannels?"_s}));

TEST(StringTable, UnknownNumbersGiveAnEmptyString)
{
    for (int id : {0, -1, 99, 101, 166, 32770, 32860, 60003, INT_MIN, INT_MAX})
        EXPECT_TRUE(LoadString(id).isEmpty()) << id;
}

TEST(StringTable, AgePartsJoinWithTheirOwnBlanks)
{
    const QString age = LoadString(154).replace(u"%d"_s, u"2"_s) + LoadString(152) +
                        LoadString(155).replace(u"%d"_s, u"5"_s);
    EXPECT_EQ(age, u"2 days 1 hour 5 minutes ago"_s);
    EXPECT_EQ(LoadString(151), u"1 day "_s);
    EXPECT_EQ(LoadString(153), u"%d hours "_s);
}

TEST(StringTable, EntriesAreSortedUniqueAndWellFormed)
{
    const auto entries = StringTableEntries();
    ASSERT_FALSE(entries.empty());
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_LT(entries[i - 1].id, entries[i].id) << "at " << entries[i].id;
    for (const StringTableEntry& e : entries) {
        EXPECT_FALSE(e.text.empty()) << e.id;
        // A doubled escape would leave a visible backslash instead of a line feed or tab.
        EXPECT_EQ(e.text.find(u'\\'), std::u16string_view::npos) << e.id;
        EXPECT_EQ(e.text.find(u'\r'), std::u16string_view::npos) << e.id;
    }
}

// Numbers from every stretch of the table, its last entry included, each with the
// program's own text.
TEST(StringTable, NumbersAcrossTheTableGiveTheirTexts)
{
    const Expected sample[] = {
        {132, u"My Channels"_s},
        {133, u"Options"_s},
        {134, u"Select destination folder"_s},
        {135, u"Your default removable device was not found. You can select another device "
              u"from the list of available devices."_s},
        {138, u"Working"_s},
        {139, u"Verification failed"_s},
        {141, u"Saved News"_s},
        {156, u"Find"_s},
        {157, u"New Channel"_s},
        {158, u"Synchronize"_s},
        {160, u"Removable disk"_s},
        {162, u"Please, connect your mobile device to PC in order to start synchronization."_s},
        {163, u"You do not select any news to copy."_s},
        {164, u"Not enough space on removable device. Please uncheck some news."_s},
        {165, u"Cannot create destination folder."_s},
        {167, u"Did not find any news."_s},
        {32859, u"Total %d, unread %d"_s},
        {60000, u"Are you sure you want to delete this channel?"_s},
        {60002, u"Do you want to convert existing news to voice?"_s},
    };
    for (const Expected& e : sample)
        EXPECT_EQ(LoadString(e.id), e.text) << e.id;
}

} // namespace
