// The board redrawn in place on a simulated console that wraps as a Windows
// console does (a full row moves the cursor on; a resize wraps the lines again):
// whatever the widths and the event lines, the screen ends up holding every event
// line once and the newest board once, with no fragment of an older board.
#include <gtest/gtest.h>

#include <windows.h>

#include "board_layout.h"
#include "board_redraw.h"
#include "status_board.h"

#include <string>
#include <vector>

namespace {

// A console screen buffer: rows of characters, each marked when the text goes on
// in the next row; the cursor is always past the last character written.
class FakeConsole : public BoardScreen {
public:
    explicit FakeConsole(size_t columns) : m_columns(columns) { m_rows.push_back(Row{}); }

    size_t Columns() override { return m_columns; }

    void EraseRowsAbove(size_t rows) override
    {
        const size_t first = rows > m_cursorRow ? 0 : m_cursorRow - rows;
        m_rows.resize(first + 1);
        m_rows[first] = Row{};
        m_cursorRow = first;
    }

    void Write(const std::string& text) override
    {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                NewRow(false);
                continue;
            }
            size_t length = 1;
            while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
                ++length;
            m_rows[m_cursorRow].text += text.substr(i, length);
            i += length - 1;
            if (Utf8Columns(m_rows[m_cursorRow].text) == m_columns)
                NewRow(true);
        }
    }

    // Wraps every logical line again at the new width, as a resized console does.
    void Resize(size_t columns)
    {
        std::vector<std::string> lines(1);
        for (size_t r = 0; r < m_cursorRow; ++r) {
            lines.back() += m_rows[r].text;
            if (!m_rows[r].wrapped)
                lines.push_back(std::string());
        }
        m_columns = columns;
        m_rows.assign(1, Row{});
        m_cursorRow = 0;
        lines.pop_back();
        for (const std::string& line : lines)
            Write(line + "\n");
    }

    size_t CursorRow() const { return m_cursorRow; }

    // The screen's logical lines, blank ones left out.
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::string current;
        for (size_t r = 0; r <= m_cursorRow; ++r) {
            current += m_rows[r].text;
            if (m_rows[r].wrapped)
                continue;
            if (!current.empty())
                lines.push_back(current);
            current.clear();
        }
        return lines;
    }

private:
    struct Row {
        std::string text;
        bool        wrapped = false;
    };
    void NewRow(bool wrapped)
    {
        m_rows[m_cursorRow].wrapped = wrapped;
        ++m_cursorRow;
        m_rows.resize(m_cursorRow + 1);
        m_rows[m_cursorRow] = Row{};
    }

    size_t              m_columns;
    std::vector<Row>    m_rows;
    size_t              m_cursorRow = 0;
};

const char* const SOURCES[] = {
    "file:C:\\recordings\\2026\\december\\evening\\news.ts?loop",
    "udp://239.1.1.1:1234?interface=127.0.0.20",
    "cmd:C:\\tools\\capture.exe --stdout --device 3 --format mpegts",
    "file:C:\\a.ts",
};

std::vector<std::string> Board(size_t columns, uint64_t bytes)
{
    std::vector<std::string> lines;
    uint32_t channel = 0;
    for (const char* source : SOURCES) {
        ChannelFigures figures;
        figures.state = ChannelState::STREAMING;
        figures.accepted = bytes * (channel + 1);
        lines.push_back(FitBoardLine(StatusRowText(channel++, figures, 1e6, 0.0, source), columns));
    }
    return lines;
}

std::string EventLine(int n, size_t length)
{
    std::string line = "12:00:00.000 channel 3: event " + std::to_string(n) + " ";
    line.resize(length, 'x');
    return line;
}

// The screen holds the events, in order, then the board, and nothing else.
::testing::AssertionResult HoldsEventsThenBoard(const FakeConsole& console, const std::vector<std::string>& events,
                                                const std::vector<std::string>& board)
{
    std::vector<std::string> expected = events;
    expected.insert(expected.end(), board.begin(), board.end());
    const std::vector<std::string> lines = console.Lines();
    if (lines == expected)
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "the screen holds " << lines.size() << " lines, not "
                                                 << expected.size() << ":\n";
    for (const std::string& line : lines)
        failure << "  |" << line << "|\n";
    return failure;
}

TEST(BoardRedraw, RedrawsInPlaceAtEveryWidthWithWrappingEventLinesBetweenRefreshes)
{
    for (size_t columns : {40, 80, 120, 200}) {
        SCOPED_TRACE("width " + std::to_string(columns));
        FakeConsole console(columns);
        BoardRedraw redraw;
        std::vector<std::string> events;
        for (int refresh = 0; refresh < 6; ++refresh) {
            std::vector<std::string> fresh;
            if (refresh % 2 == 0)
                fresh.push_back(EventLine(refresh, columns * 2 + 7));     // wraps onto three rows
            const std::vector<std::string> board = Board(columns, 1000 * refresh);
            const size_t rowBefore = console.CursorRow();
            redraw.Draw(console, fresh, board);
            events.insert(events.end(), fresh.begin(), fresh.end());
            ASSERT_TRUE(HoldsEventsThenBoard(console, events, board)) << "after refresh " << refresh;
            size_t eventRows = 0;
            for (const std::string& line : fresh)
                eventRows += RowsOnScreen(Utf8Columns(line), columns);
            EXPECT_EQ(redraw.RowsDrawn(columns), board.size()) << "each fitted line takes one row";
            EXPECT_EQ(console.CursorRow(), rowBefore - (refresh == 0 ? 0 : board.size()) + eventRows + board.size())
                << "the board starts where the last one started, below the new event lines";
        }
    }
}

TEST(BoardRedraw, AResizeBetweenTwoRefreshesLeavesNoFragmentOfTheOldBoard)
{
    const size_t sizes[][2] = {{120, 40}, {80, 50}, {40, 200}, {200, 79}};
    for (const auto& size : sizes) {
        SCOPED_TRACE("from " + std::to_string(size[0]) + " to " + std::to_string(size[1]) + " columns");
        FakeConsole console(size[0]);
        BoardRedraw redraw;
        const std::vector<std::string> events = {EventLine(1, 30), EventLine(2, 150)};
        redraw.Draw(console, events, Board(size[0], 1));
        console.Resize(size[1]);
        const std::vector<std::string> board = Board(size[1], 2);
        redraw.Draw(console, {}, board);
        EXPECT_TRUE(HoldsEventsThenBoard(console, events, board));
    }
}

TEST(BoardRedraw, EraseTakesTheBoardAwaySoThatTheSummaryFollowsTheEvents)
{
    FakeConsole console(80);
    BoardRedraw redraw;
    const std::vector<std::string> events = {EventLine(1, 60)};
    redraw.Draw(console, events, Board(80, 1));
    redraw.Erase(console);
    console.Write("summary\n");
    EXPECT_TRUE(HoldsEventsThenBoard(console, events, {"summary"}));
}

} // namespace
