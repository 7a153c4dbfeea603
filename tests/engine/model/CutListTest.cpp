#include "CWCutList.h"

#include <gtest/gtest.h>

using CWCutList::Edit;
using CWCutList::Format;

namespace {
CMTime ms(int64_t milliseconds) { return CMTimeMake(milliseconds, 1000); }

::testing::AssertionResult same(const std::vector<Edit>& actual, const std::vector<Edit>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " edits instead of " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (CMTimeCompare(actual[i].start, expected[i].start) != 0 || CMTimeCompare(actual[i].stop, expected[i].stop) != 0)
            return ::testing::AssertionFailure()
                   << "edit " << i << ": " << CMTimeGetSeconds(actual[i].start) << "–" << CMTimeGetSeconds(actual[i].stop) << " instead of "
                   << CMTimeGetSeconds(expected[i].start) << "–" << CMTimeGetSeconds(expected[i].stop);
    return ::testing::AssertionSuccess();
}
} // namespace

// Every format written and read back gives the same edits: cuts (one to the end), a split point, times
// on frames of 25 fps for the EDL; a chapter list carries split points.
TEST(CWCutList, EveryFormatReadsBackWhatItWrote)
{
    const CWCutList::Source source{ms(10000), 25.0, QStringLiteral("talk.mp4")};
    const std::vector<Edit> edits{{ms(1000), ms(2000)}, {ms(4000), ms(4000)}, {ms(6520), ms(7040)}, {ms(9000), ms(10000)}};
    for (const Format format : {Format::Times, Format::Csv, Format::Edl}) {
        const QByteArray list = CWCutList::write(format, edits, source);
        Error error;
        const auto read = CWCutList::read(list, source, &error);
        ASSERT_TRUE(read) << error.message.toStdString() << "\n" << list.toStdString();
        EXPECT_TRUE(same(*read, edits)) << list.toStdString();
    }
    const std::vector<Edit> splits{{ms(2000), ms(2000)}, {ms(65000), ms(65000)}};
    const CWCutList::Source longer{ms(3700000), 0, QStringLiteral("talk.m4a")};
    const QByteArray chapters = CWCutList::write(Format::Chapters, splits, longer);
    EXPECT_EQ(chapters, QByteArray("0:00 Part 1\n0:02 Part 2\n1:05 Part 3\n"));
    EXPECT_TRUE(same(*CWCutList::read(chapters, longer, nullptr), splits));
    // Chapters start where each kept piece starts in the exported file; an hour shows as such.
    EXPECT_EQ(CWCutList::write(Format::Chapters, {{ms(0), ms(60000)}, {ms(3600000), ms(3600000)}}, longer),
              QByteArray("0:00 Part 1\n59:00 Part 2\n"));
    EXPECT_EQ(CWCutList::write(Format::Chapters, {{ms(3660000), ms(3660000)}}, longer), QByteArray("0:00 Part 1\n1:01:00 Part 2\n"));
    // A CSV of cuts, with a quoted label holding a comma, and one made by hand in another order.
    EXPECT_TRUE(same(*CWCutList::read("cut_start,cut_end,label\n1,2,\"ads, long\"\n4,4,\n", source, nullptr),
                     {{ms(1000), ms(2000)}, {ms(4000), ms(4000)}}));
    EXPECT_TRUE(same(*CWCutList::read("kept_start,kept_end\r\n7,10\r\n0,1\r\n", source, nullptr), {{ms(1000), ms(7000)}}));
}

// The lists as other programs expect them, computed by hand: CMX 3600 events at 25 fps, and at 29.97
// fps in drop-frame timecode (frame 1798 is 00:00:59;28, 18000 is 00:10:00;18, and 16202 frames last
// 00:09:00;20).
TEST(CWCutList, EditDecisionListsCountFramesAsEditorsDo)
{
    EXPECT_EQ(CWCutList::write(Format::Edl, {{ms(1000), ms(2000)}}, {ms(4000), 25.0, QStringLiteral("talk.mp4")}),
              QByteArray("TITLE: talk\nFCM: NON-DROP FRAME\n\n"
                         "001  AX       V     C        00:00:00:00 00:00:01:00 00:00:00:00 00:00:01:00\n* FROM CLIP NAME: talk.mp4\n\n"
                         "002  AX       V     C        00:00:02:00 00:00:04:00 00:00:01:00 00:00:03:00\n* FROM CLIP NAME: talk.mp4\n\n"));
    const CWCutList::Source ntsc{CMTimeMake(700, 1), 30000.0 / 1001, QStringLiteral("talk.mp4")};
    const std::vector<Edit> edits{{kCMTimeZero, CMTimeMake(1798 * 1001, 30000)}, {CMTimeMake(18000 * 1001, 30000), CMTimeMake(700, 1)}};
    const QByteArray list = CWCutList::write(Format::Edl, edits, ntsc);
    EXPECT_EQ(list,
              QByteArray("TITLE: talk\nFCM: DROP FRAME\n\n"
                         "001  AX       V     C        00:00:59;28 00:10:00;18 00:00:00;00 00:09:00;20\n* FROM CLIP NAME: talk.mp4\n\n"));
    EXPECT_TRUE(same(*CWCutList::read(list, ntsc, nullptr), edits));
}

// What cannot be read says on which line and why, and nothing of the list is used.
TEST(CWCutList, MalformedListsNameTheLine)
{
    const CWCutList::Source source{ms(10000), 25.0, QStringLiteral("talk.mp4")};
    const std::pair<const char*, const char*> lists[] = {
        {"1\n2\n\nabc\n", "Line 4: \"abc\" is no time."},
        {"1\n12\n", "Line 2: 12.000 s lies beyond the end of the source (10.000 s)."},
        {"5\n3\n", "Line 2: a cut cannot end before it begins."},
        {"4\n6\n5\n8\n", "Line 3: this begins before the one above it ends"},
        {"start,end\n1,2\n", "Line 1: the header must begin"},
        {"kept_start,kept_end\n0,5\n4,6\n", "Line 3: this piece overlaps another."},
        {"kept_start,kept_end\n0,x\n", "Line 2: a row is a start and an end"},
        {"TITLE: x\n001  AX V D 025 00:00:00:00 00:00:01:00 00:00:00:00 00:00:01:00\n", "Line 2: only cuts (C)"},
        {"TITLE: x\nFCM: DROP FRAME\n", "Line 2: the list counts drop-frame timecode"},
        {"TITLE: x\n001  AX V C 00:00:00:00 00:00:01:30 00:00:00:00 00:00:01:30\n", "Line 2: the source in and out"},
        {"0:00 Intro\n0:05 Talk\n0:03 Questions\n", "Line 3: the chapters must start one after another."},
        {"0:00 Intro\nlater Talk\n", "Line 2: a chapter is a time and a title"},
    };
    for (const auto& [list, says] : lists) {
        Error error;
        EXPECT_FALSE(CWCutList::read(list, source, &error)) << list;
        EXPECT_TRUE(error.message.startsWith(QLatin1String(says))) << list << "\n" << error.message.toStdString();
        EXPECT_EQ(error.domain, CWCutList::kErrorDomain);
    }
    EXPECT_EQ(CWCutList::formatOf("\n1.5\n\n2:30\n00:01:02.250\nsoon\n"), Format::Times);
    EXPECT_EQ(CWCutList::formatOf("\n0:00 Intro\n"), Format::Chapters);
    EXPECT_EQ(CWCutList::formatOf("001  AX V C 00:00:00:00 00:00:01:00 00:00:00:00 00:00:01:00\n"), Format::Edl);
}
