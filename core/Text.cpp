// Text and collection helpers of the agent core.
#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace OrvCore {

namespace {

// Decimal text of an integer; the digits are ASCII, so no conversion issues.
template <typename T>
wxString IntegerText(T value)
{
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return wxString::FromAscii(buffer, static_cast<size_t>(result.ptr - buffer));
}

int HexDigitValue(wxUniChar c)
{
    const wxUint32 v = c.GetValue();
    if (v >= '0' && v <= '9') return static_cast<int>(v - '0');
    if (v >= 'a' && v <= 'f') return static_cast<int>(v - 'a' + 10);
    if (v >= 'A' && v <= 'F') return static_cast<int>(v - 'A' + 10);
    return -1;
}

template <typename Iterator>
wxString JoinSorted(Iterator begin, Iterator end, wxChar separator, bool parentheses)
{
    std::vector<long long> sorted(begin, end);
    std::sort(sorted.begin(), sorted.end());
    wxString result;
    if (parentheses) result += wxT('(');
    bool first = true;
    for (long long id : sorted) {
        if (!first) result += separator;
        first = false;
        result += IntegerText(id);
    }
    if (parentheses) result += wxT(')');
    return result;
}

}  // namespace

wxString toString(bool value)
{
    return value ? wxString(wxT("true")) : wxString(wxT("false"));
}

wxString toString(int value)
{
    return IntegerText(value);
}

wxString toString(long value)
{
    return IntegerText(value);
}

wxString toString(long long value)
{
    return IntegerText(value);
}

wxString toString(unsigned int value)
{
    return IntegerText(value);
}

wxString toString(unsigned long value)
{
    return IntegerText(value);
}

wxString toString(unsigned long long value)
{
    return IntegerText(value);
}

wxString toString(double value)
{
    // std::to_chars without a format gives the shortest text that reads back
    // to the same double ("0.1", "1e+100", "nan", "-inf").
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    if (result.ec != std::errc()) {
        int n = std::snprintf(buffer, sizeof(buffer), "%.17g", value);
        return wxString::FromAscii(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }
    return wxString::FromAscii(buffer, static_cast<size_t>(result.ptr - buffer));
}

wxString toHexString(const void* data, size_t length, bool lowerCase)
{
    static const char kLower[] = "0123456789abcdef";
    static const char kUpper[] = "0123456789ABCDEF";
    const char* digits = lowerCase ? kLower : kUpper;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    out.resize(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return wxString::FromAscii(out.data(), out.size());
}

wxString toHexString(const std::string& bytes, bool lowerCase)
{
    return toHexString(bytes.data(), bytes.size(), lowerCase);
}

bool fromHexString(const wxString& hex, std::string& bytes)
{
    bytes.clear();
    const size_t length = hex.length();
    if (length % 2 != 0) return false;
    std::string decoded;
    decoded.reserve(length / 2);
    for (auto it = hex.begin(); it != hex.end();) {
        int high = HexDigitValue(*it++);
        int low = HexDigitValue(*it++);
        if (high < 0 || low < 0) return false;
        decoded.push_back(static_cast<char>((high << 4) | low));
    }
    bytes.swap(decoded);
    return true;
}

bool isHexString(const wxString& text)
{
    if (text.empty()) return false;
    for (auto it = text.begin(); it != text.end(); ++it) {
        if (HexDigitValue(*it) < 0) return false;
    }
    return true;
}

wxString toBase64String(const void* data, size_t length)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const unsigned char* in = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        unsigned int group = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back(kAlphabet[group & 0x3F]);
    }
    const size_t rest = length - i;
    if (rest == 1) {
        unsigned int group = in[i] << 16;
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.append("==");
    } else if (rest == 2) {
        unsigned int group = (in[i] << 16) | (in[i + 1] << 8);
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back('=');
    }
    return wxString::FromAscii(out.data(), out.size());
}

wxString toBase64String(const wxString& text)
{
    const std::string bytes = text.utf8_string();
    return toBase64String(bytes.data(), bytes.size());
}

bool isLegalUTF8String(const char* data, size_t length)
{
    if (length == 0) return true;
    if (data == nullptr) return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* end = p + length;
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        size_t trailing;
        // Allowed range of the first continuation byte; it excludes overlong
        // forms (E0, F0), surrogates (ED) and values above U+10FFFF (F4).
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
        } else if (lead == 0xE0) {
            trailing = 2;
            low = 0xA0;
        } else if (lead == 0xED) {
            trailing = 2;
            high = 0x9F;
        } else if (lead >= 0xE1 && lead <= 0xEF) {
            trailing = 2;
        } else if (lead == 0xF0) {
            trailing = 3;
            low = 0x90;
        } else if (lead >= 0xF1 && lead <= 0xF3) {
            trailing = 3;
        } else if (lead == 0xF4) {
            trailing = 3;
            high = 0x8F;
        } else {
            return false;  // stray continuation byte, C0, C1, F5..FF
        }
        if (static_cast<size_t>(end - p) <= trailing) return false;
        if (p[1] < low || p[1] > high) return false;
        for (size_t k = 2; k <= trailing; ++k) {
            if (p[k] < 0x80 || p[k] > 0xBF) return false;
        }
        p += trailing + 1;
    }
    return true;
}

bool isLegalUTF8String(const std::string& bytes)
{
    return isLegalUTF8String(bytes.data(), bytes.size());
}

wxString ReplaceBars(const wxString& text)
{
    wxString out;
    out.reserve(text.length());
    for (auto it = text.begin(); it != text.end(); ++it) {
        const wxUniChar c = *it;
        if (c == wxT('\\')) {
            out += wxT("\\\\");
        } else if (c == wxT('|')) {
            out += wxT("\\|");
        } else {
            out += c;
        }
    }
    return out;
}

void AddToMapSet(MapStringToInt64Set& map, const wxString& key, long long id)
{
    map[key].insert(id);
}

wxString toList(const Int64Set& ids, wxChar separator, bool parentheses)
{
    return JoinSorted(ids.begin(), ids.end(), separator, parentheses);
}

wxString toList(const std::vector<long long>& ids, wxChar separator, bool parentheses)
{
    return JoinSorted(ids.begin(), ids.end(), separator, parentheses);
}

}  // namespace OrvCore
