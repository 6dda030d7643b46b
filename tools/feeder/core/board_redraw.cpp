#include "board_redraw.h"

#include "board_layout.h"

size_t BoardRedraw::RowsDrawn(size_t columns) const
{
    size_t rows = 0;
    for (size_t lineColumns : m_drawnColumns)
        rows += RowsOnScreen(lineColumns, columns);
    return rows;
}

void BoardRedraw::Erase(BoardScreen& screen)
{
    if (!m_drawnColumns.empty())
        screen.EraseRowsAbove(RowsDrawn(screen.Columns()));
    m_drawnColumns.clear();
}

void BoardRedraw::Draw(BoardScreen& screen, const std::vector<std::string>& events,
                       const std::vector<std::string>& board)
{
    Erase(screen);
    std::string text;
    for (const std::string& line : events)
        text += line + "\n";
    for (const std::string& line : board) {
        text += line + "\n";
        m_drawnColumns.push_back(Utf8Columns(line));
    }
    screen.Write(text);
}
