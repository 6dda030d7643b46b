#include "map_encoding.h"

#include "wide.h"

namespace {

const std::string UTF8_MARK = "\xEF\xBB\xBF";
const std::string UTF16LE_MARK = "\xFF\xFE";
const std::string UTF16BE_MARK = "\xFE\xFF";
const size_t UTF16_UNIT_BYTES = 2;
const int BITS_PER_BYTE = 8;

bool StartsWith(const std::string& bytes, const std::string& mark)
{
    return bytes.compare(0, mark.size(), mark) == 0;
}

bool Utf16ToUtf8(const std::string& bytes, bool bigEndian, std::string* text, std::string* why)
{
    const size_t length = bytes.size() - UTF16_UNIT_BYTES;
    if (length % UTF16_UNIT_BYTES != 0) {
        *why = "UTF-16 text cut in the middle of a character";
        return false;
    }
    std::wstring wide(length / UTF16_UNIT_BYTES, L'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        const unsigned char first = static_cast<unsigned char>(bytes[UTF16_UNIT_BYTES * (i + 1)]);
        const unsigned char second = static_cast<unsigned char>(bytes[UTF16_UNIT_BYTES * (i + 1) + 1]);
        wide[i] = static_cast<wchar_t>(bigEndian ? (first << BITS_PER_BYTE) | second : (second << BITS_PER_BYTE) | first);
    }
    *text = Narrow(wide);
    return true;
}

} // namespace

bool MapBytesToUtf8(const std::string& bytes, std::string* text, std::string* why)
{
    if (StartsWith(bytes, UTF16LE_MARK) || StartsWith(bytes, UTF16BE_MARK))
        return Utf16ToUtf8(bytes, StartsWith(bytes, UTF16BE_MARK), text, why);
    *text = StartsWith(bytes, UTF8_MARK) ? bytes.substr(UTF8_MARK.size()) : bytes;
    return true;
}
