#include "board_layout.h"

#include <algorithm>

const char BOARD_ELLIPSIS[] = "\xE2\x80\xA6";

namespace {

const size_t ELLIPSIS_COLUMNS = 1;
const char   GAP[] = "  ";
const size_t GAP_COLUMNS = 2;
const size_t MIN_SOURCE_COLUMNS = 8;    // less than this says nothing; leave the source out
const char   KIND_END[] = "://";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Byte offset of the character `columns` from the start.
size_t OffsetOfColumn(const std::string& text, size_t columns)
{
    size_t offset = 0;
    for (size_t seen = 0; offset < text.size(); ++offset) {
        if (IsContinuationByte(text[offset]))
            continue;
        if (seen++ == columns)
            return offset;
    }
    return text.size();
}

std::string Utf8Tail(const std::string& text, size_t columns)
{
    const size_t total = Utf8Columns(text);
    return total <= columns ? text : text.substr(OffsetOfColumn(text, total - columns));
}

// "udp://", "http://", "file:", "cmd:": the part that says what the source is.
size_t KindLength(const std::string& text)
{
    const size_t scheme = text.find(KIND_END);
    if (scheme != std::string::npos)
        return scheme + sizeof KIND_END - 1;
    const size_t colon = text.find(':');
    return colon == std::string::npos ? 0 : colon + 1;
}

// The last path element with the separator before it and any query: "\news.ts?loop".
size_t LastElementStart(const std::string& body)
{
    const size_t query = body.find('?');
    const size_t searchEnd = query == std::string::npos ? body.size() : query;
    for (size_t i = searchEnd; i > 0; --i)
        if (IsSeparator(body[i - 1]))
            return i - 1;
    return 0;
}

std::string CutAtEnd(const std::string& text, size_t columns)
{
    if (Utf8Columns(text) <= columns)
        return text;
    if (columns < ELLIPSIS_COLUMNS)
        return std::string();
    return Utf8Head(text, columns - ELLIPSIS_COLUMNS) + BOARD_ELLIPSIS;
}

// The body's start, up to and with its last separator that fits in `columns`.
std::string HeadToSeparator(const std::string& body, size_t columns)
{
    const std::string head = Utf8Head(body, columns);
    for (size_t i = head.size(); i > 0; --i)
        if (IsSeparator(head[i - 1]))
            return head.substr(0, i);
    return head;
}

// The body's end in `columns`, from the first separator in it: whole elements only.
std::string TailFromSeparator(const std::string& body, size_t columns)
{
    const std::string tail = Utf8Tail(body, columns);
    for (size_t i = 0; i < tail.size(); ++i)
        if (IsSeparator(tail[i]))
            return tail.substr(i);
    return tail;
}

} // namespace

size_t Utf8Columns(const std::string& text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

std::string Utf8Head(const std::string& text, size_t columns)
{
    return text.substr(0, OffsetOfColumn(text, columns));
}

std::string ShortenMiddle(const std::string& text, size_t columns)
{
    if (Utf8Columns(text) <= columns)
        return text;
    const std::string kind = text.substr(0, KindLength(text));
    const size_t kindColumns = Utf8Columns(kind);
    if (columns < kindColumns + ELLIPSIS_COLUMNS + 1)
        return CutAtEnd(text, columns);
    const std::string body = text.substr(kind.size());
    const size_t room = columns - kindColumns - ELLIPSIS_COLUMNS;
    const size_t lastElementColumns = Utf8Columns(body.substr(LastElementStart(body)));
    if (lastElementColumns >= room)
        return kind + BOARD_ELLIPSIS + Utf8Tail(body, room);
    const std::string head = HeadToSeparator(body, room - lastElementColumns);
    const std::string tail = TailFromSeparator(body, room - Utf8Columns(head));
    return kind + head + BOARD_ELLIPSIS + tail;
}

std::string FitBoardLine(const BoardRowText& row, size_t columns)
{
    const size_t usable = columns > 0 ? columns - 1 : 0;
    const size_t fixedColumns = Utf8Columns(row.fixed);
    if (fixedColumns > usable)
        return CutAtEnd(row.brief, usable);
    std::string line = row.fixed;
    size_t left = usable - fixedColumns;
    if (left < GAP_COLUMNS + MIN_SOURCE_COLUMNS || row.source.empty())
        return line;
    const std::string source = ShortenMiddle(row.source, left - GAP_COLUMNS);
    line += GAP + source;
    left -= GAP_COLUMNS + Utf8Columns(source);
    if (!row.detail.empty() && left >= GAP_COLUMNS + MIN_SOURCE_COLUMNS)
        line += GAP + CutAtEnd(row.detail, left - GAP_COLUMNS);
    return line;
}

size_t RowsOnScreen(size_t lineColumns, size_t columns)
{
    if (columns == 0 || lineColumns == 0)
        return 1;
    return (lineColumns + columns - 1) / columns;
}
