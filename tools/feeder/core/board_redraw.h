// Redraws the status board in place below the event lines: erases the rows the
// last board fills now (after a resize too), writes the new event lines, then the
// new board. Plain C++: a console, or a stand-in for tests, is behind BoardScreen.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

class BoardScreen {
public:
    virtual ~BoardScreen() = default;
    // The width a line wraps at, read anew for every frame.
    virtual size_t Columns() = 0;
    // Blanks this many rows up to the cursor's and puts the cursor at the first.
    virtual void EraseRowsAbove(size_t rows) = 0;
    // UTF-8 text; '\n' ends a line.
    virtual void Write(const std::string& text) = 0;
};

class BoardRedraw {
public:
    // Lines already fitted to `columns`; events may be of any length.
    void Draw(BoardScreen& screen, const std::vector<std::string>& events,
              const std::vector<std::string>& board);
    // Blanks the board, so that what comes next (the summary) takes its place.
    void Erase(BoardScreen& screen);
    // The rows the board on screen fills at this width.
    size_t RowsDrawn(size_t columns) const;

private:
    std::vector<size_t> m_drawnColumns;     // each board line's length as written
};
