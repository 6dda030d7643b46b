// How the status board's lines fit a console of a given width. Plain C++, so the
// fitting is tested without a console. Widths count characters (UTF-8 code points).
#pragma once
#include <cstddef>
#include <string>

// One channel's status line, in its parts.
struct BoardRowText {
    std::string fixed;      // channel, state, rate, bytes, drops: never cut
    std::string brief;      // channel, state, rate: all a narrow console shows
    std::string source;     // shortened in the middle when the line is too long
    std::string detail;     // source down: the reason, cut at its end when there is no room
};

// "…": one column wherever the source or detail is shortened.
extern const char BOARD_ELLIPSIS[];

size_t Utf8Columns(const std::string& text);
// The first `columns` characters, never cutting one in two.
std::string Utf8Head(const std::string& text, size_t columns);

// Keeps the kind ("file:", "udp://") and the end of a path or address, and
// shortens the middle with an ellipsis: file:C:\rec\…\news.ts?loop.
std::string ShortenMiddle(const std::string& text, size_t columns);
// At most columns - 1 characters: a console moves to the next row on its own once
// a row is full, and the line's end would then leave an empty row behind it.
std::string FitBoardLine(const BoardRowText& row, size_t columns);
// The rows a line of this many characters fills on a console this wide, as the
// console wraps it again after a resize.
size_t RowsOnScreen(size_t lineColumns, size_t columns);
