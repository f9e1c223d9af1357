#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

// Text encodings with the platform's numbers (0 means "none"), the IANA
// character-set names of HTTP ("charset=") mapped to them through ICU's
// converter aliases, and decoding of bytes in one of them to UTF-8.
using StringEncoding = unsigned long;

inline constexpr StringEncoding NSASCIIStringEncoding = 1;
inline constexpr StringEncoding NSJapaneseEUCStringEncoding = 3;
inline constexpr StringEncoding NSUTF8StringEncoding = 4;
inline constexpr StringEncoding NSISOLatin1StringEncoding = 5;
inline constexpr StringEncoding NSShiftJISStringEncoding = 8;
inline constexpr StringEncoding NSISOLatin2StringEncoding = 9;
inline constexpr StringEncoding NSUnicodeStringEncoding = 10;
inline constexpr StringEncoding NSWindowsCP1251StringEncoding = 11;
inline constexpr StringEncoding NSWindowsCP1252StringEncoding = 12;
inline constexpr StringEncoding NSWindowsCP1253StringEncoding = 13;
inline constexpr StringEncoding NSWindowsCP1254StringEncoding = 14;
inline constexpr StringEncoding NSWindowsCP1250StringEncoding = 15;
inline constexpr StringEncoding NSISO2022JPStringEncoding = 21;
inline constexpr StringEncoding NSMacOSRomanStringEncoding = 30;
inline constexpr StringEncoding NSUTF16BigEndianStringEncoding = 0x90000100;
inline constexpr StringEncoding NSUTF16LittleEndianStringEncoding = 0x94000100;
inline constexpr StringEncoding NSUTF32StringEncoding = 0x8c000100;
inline constexpr StringEncoding NSUTF32BigEndianStringEncoding = 0x98000100;
inline constexpr StringEncoding NSUTF32LittleEndianStringEncoding = 0x9c000100;

// The encoding of an IANA character-set name ("utf-8", "ISO-8859-1",
// "latin1", "windows-1252"...), matched case-insensitively through ICU's
// aliases; 0 for a name ICU does not know or one without a platform number.
StringEncoding encodingFromIANACharsetName(std::string_view name);

// Decodes the bytes as text of the encoding into UTF-8; nullopt when they
// are not valid in it, or the encoding is unknown.
std::optional<std::string> decodeString(const Data& bytes, StringEncoding encoding);

// The text (UTF-8) as bytes of the encoding; nullopt when a character has no
// form in it, the text is not UTF-8, or the encoding is unknown.
std::optional<Data> encodeString(std::string_view text, StringEncoding encoding);

// The IANA character-set name of an encoding, lower-cased as the platform
// gives it ("utf-8", "iso-8859-1"); empty for an unknown encoding.
std::string IANACharsetNameFromEncoding(StringEncoding encoding);
