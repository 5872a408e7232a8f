// Text and collection helpers of the agent core. All functions are pure and
// thread-safe. Text is wxString in memory and UTF-8 in bytes.
#pragma once

#include <wx/string.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/CoreApi.h"

namespace OrvCore {

typedef std::unordered_set<long long> Int64Set;
typedef std::unordered_set<wxString> WxStringSet;
typedef std::unordered_map<wxString, Int64Set> MapStringToInt64Set;

// "true" / "false" for booleans, decimal for integers, shortest round-trip
// text for doubles.
ORV_CORE_API wxString toString(bool value);
ORV_CORE_API wxString toString(int value);
ORV_CORE_API wxString toString(long value);
ORV_CORE_API wxString toString(long long value);
ORV_CORE_API wxString toString(unsigned int value);
ORV_CORE_API wxString toString(unsigned long value);
ORV_CORE_API wxString toString(unsigned long long value);
ORV_CORE_API wxString toString(double value);

// Hexadecimal text of bytes, two digits per byte, lower case unless asked.
ORV_CORE_API wxString toHexString(const void* data, size_t length, bool lowerCase = true);
ORV_CORE_API wxString toHexString(const std::string& bytes, bool lowerCase = true);

// Decodes hexadecimal text (either case) into bytes. False, with bytes
// cleared, for an odd length or a character that is not a hex digit.
ORV_CORE_API bool fromHexString(const wxString& hex, std::string& bytes);

// True when text is not empty and made only of hexadecimal digits.
ORV_CORE_API bool isHexString(const wxString& text);

// Standard Base64 (RFC 4648 alphabet, with "=" padding). The wxString form
// encodes the text's UTF-8 bytes.
ORV_CORE_API wxString toBase64String(const void* data, size_t length);
ORV_CORE_API wxString toBase64String(const wxString& text);

// Strict UTF-8 validation: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequences.
ORV_CORE_API bool isLegalUTF8String(const char* data, size_t length);
ORV_CORE_API bool isLegalUTF8String(const std::string& bytes);

// Makes text safe as one field of a "|"-separated record: a backslash becomes
// "\\" and a bar "\|", so the record splits unambiguously at unescaped bars.
ORV_CORE_API wxString ReplaceBars(const wxString& text);

// Adds id to the set stored under key, creating the set when needed.
ORV_CORE_API void AddToMapSet(MapStringToInt64Set& map, const wxString& key, long long id);

// Ids in ascending order joined by separator, optionally in parentheses:
// toList({12, 3, 7}, ',', true) is "(3,7,12)". An empty set gives "()" or "".
ORV_CORE_API wxString toList(const Int64Set& ids, wxChar separator, bool parentheses);
ORV_CORE_API wxString toList(const std::vector<long long>& ids, wxChar separator, bool parentheses);

}  // namespace OrvCore
