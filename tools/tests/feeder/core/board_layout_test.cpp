// Status lines fitted to a console's width: the fixed columns are never cut, the
// source is shortened in its middle, and no line fills a whole row.
#include <gtest/gtest.h>

#include "board_layout.h"
#include "status_board.h"

#include <string>

namespace {

const size_t WIDTHS[] = {40, 80, 120, 200};
const char LONG_FILE[] = "file:C:\\recordings\\2026\\december\\evening\\news.ts?loop";
const char LONG_UDP[] = "udp://239.1.1.1:1234?interface=127.0.0.20";
const char SHORT_FILE[] = "file:C:\\a.ts";

// Every lead byte is followed by as many continuation bytes as it announces.
bool IsWholeUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

BoardRowText Row(ChannelState state, const std::string& source, const std::string& detail = "")
{
    ChannelFigures figures;
    figures.state = state;
    figures.accepted = 123456789;
    figures.drops = 42;
    figures.detail = detail;
    figures.retryAt = 4.0;
    return StatusRowText(7, figures, 2.5e6, 0.0, source);
}

TEST(BoardLayout, EveryLineFitsBelowTheWidthWithTheFixedColumnsWholeOrTheBriefLine)
{
    const BoardRowText rows[] = {
        Row(ChannelState::STREAMING, LONG_FILE), Row(ChannelState::STREAMING, SHORT_FILE),
        Row(ChannelState::WATCHING, LONG_UDP),
        Row(ChannelState::SOURCE_DOWN, LONG_FILE, "cannot open the file (error 2: The system cannot find the file)"),
    };
    for (size_t width : WIDTHS) {
        for (const BoardRowText& row : rows) {
            SCOPED_TRACE("width " + std::to_string(width) + ", source " + row.source);
            const std::string line = FitBoardLine(row, width);
            EXPECT_LT(Utf8Columns(line), width);
            if (Utf8Columns(row.fixed) < width) {
                EXPECT_EQ(line.rfind(row.fixed, 0), 0u) << line;
            } else {
                const std::string head = line.substr(0, line.rfind(BOARD_ELLIPSIS));
                EXPECT_EQ(row.brief.rfind(head, 0), 0u) << "a narrow console gets the brief line: " << line;
            }
        }
    }
}

TEST(BoardLayout, ShortSourcesStandWholeAndLongOnesKeepTheirKindAndEnd)
{
    const std::string shortLine = FitBoardLine(Row(ChannelState::STREAMING, SHORT_FILE), 80);
    EXPECT_NE(shortLine.find(SHORT_FILE), std::string::npos) << shortLine;

    const std::string wide = FitBoardLine(Row(ChannelState::STREAMING, LONG_FILE), 200);
    EXPECT_NE(wide.find(LONG_FILE), std::string::npos) << "200 columns hold the whole source: " << wide;

    for (size_t width : {80, 100}) {
        const std::string line = FitBoardLine(Row(ChannelState::STREAMING, LONG_FILE), width);
        const std::string source = line.substr(line.find("file:"));
        const std::string end = "news.ts?loop";
        EXPECT_NE(source.find(BOARD_ELLIPSIS), std::string::npos) << line;
        EXPECT_EQ(source.substr(source.size() - end.size()), end) << line;
    }
    const std::string at100 = FitBoardLine(Row(ChannelState::STREAMING, LONG_FILE), 100);
    EXPECT_NE(at100.find("file:C:\\recordings\\"), std::string::npos) << at100;
    EXPECT_NE(at100.find(std::string("\\") + BOARD_ELLIPSIS + "\\news.ts?loop"), std::string::npos)
        << "cut between path elements: " << at100;
}

TEST(BoardLayout, ShortenMiddleCutsBetweenPathElementsAndNeverInsideACharacter)
{
    EXPECT_EQ(ShortenMiddle("file:C:\\rec\\2026\\december\\news.ts?loop", 26),
              std::string("file:C:\\rec\\") + BOARD_ELLIPSIS + "\\news.ts?loop");
    EXPECT_EQ(ShortenMiddle(LONG_UDP, 20), std::string("udp://") + BOARD_ELLIPSIS + "ce=127.0.0.20");
    EXPECT_EQ(ShortenMiddle(SHORT_FILE, 40), SHORT_FILE);
    const std::string accented = "file:C:\\d\xC3\xA9j\xC3\xA0\\vu\\\xC3\xA9t\xC3\xA9\\r\xC3\xA9sum\xC3\xA9.ts";
    for (size_t width = 1; width < Utf8Columns(accented); ++width) {
        const std::string shortened = ShortenMiddle(accented, width);
        EXPECT_LE(Utf8Columns(shortened), width);
        EXPECT_TRUE(IsWholeUtf8(shortened)) << "a character cut in two at width " << width;
    }
}

TEST(BoardLayout, ASourceDownShowsItsRetryInTheStateAndItsReasonWhereThereIsRoom)
{
    const BoardRowText row = Row(ChannelState::SOURCE_DOWN, SHORT_FILE, "connection refused");
    EXPECT_NE(row.fixed.find("retry in 4 s"), std::string::npos) << row.fixed;
    EXPECT_NE(FitBoardLine(row, 200).find("connection refused"), std::string::npos);
    EXPECT_EQ(FitBoardLine(row, 80).find("connection refused"), std::string::npos)
        << "the reason gives way to the source first";
}

TEST(BoardLayout, RowsOnScreenCountWrappedLines)
{
    EXPECT_EQ(RowsOnScreen(0, 80), 1u);
    EXPECT_EQ(RowsOnScreen(79, 80), 1u);
    EXPECT_EQ(RowsOnScreen(79, 40), 2u);
    EXPECT_EQ(RowsOnScreen(81, 40), 3u);
}

} // namespace
