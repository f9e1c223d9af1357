#include "platform/net/StringEncoding.h"

#include <unicode/ucnv.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "platform/foundation/StringUtils.h"

namespace {

struct EncodingName {
    StringEncoding encoding;
    const char* icuName;  // a name ICU resolves to the converter of the encoding
};

constexpr EncodingName kEncodings[] = {
    {NSASCIIStringEncoding, "US-ASCII"},
    {NSJapaneseEUCStringEncoding, "EUC-JP"},
    {NSUTF8StringEncoding, "UTF-8"},
    {NSISOLatin1StringEncoding, "ISO-8859-1"},
    {NSShiftJISStringEncoding, "Shift_JIS"},
    {NSISOLatin2StringEncoding, "ISO-8859-2"},
    {NSUnicodeStringEncoding, "UTF-16"},
    {NSWindowsCP1251StringEncoding, "windows-1251"},
    {NSWindowsCP1252StringEncoding, "windows-1252"},
    {NSWindowsCP1253StringEncoding, "windows-1253"},
    {NSWindowsCP1254StringEncoding, "windows-1254"},
    {NSWindowsCP1250StringEncoding, "windows-1250"},
    {NSISO2022JPStringEncoding, "ISO-2022-JP"},
    {NSMacOSRomanStringEncoding, "macintosh"},
    {NSUTF16BigEndianStringEncoding, "UTF-16BE"},
    {NSUTF16LittleEndianStringEncoding, "UTF-16LE"},
    {NSUTF32StringEncoding, "UTF-32"},
    {NSUTF32BigEndianStringEncoding, "UTF-32BE"},
    {NSUTF32LittleEndianStringEncoding, "UTF-32LE"},
};

// ICU's canonical converter name of an alias, or nullptr.
const char* canonicalName(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    const char* canonical = ucnv_getCanonicalName(name.c_str(), "IANA", &status);
    if (U_FAILURE(status) || !canonical) {
        status = U_ZERO_ERROR;
        canonical = ucnv_getCanonicalName(name.c_str(), "MIME", &status);
    }
    if (U_FAILURE(status) || !canonical) {
        status = U_ZERO_ERROR;
        canonical = ucnv_getAlias(name.c_str(), 0, &status);
    }
    return U_FAILURE(status) ? nullptr : canonical;
}

// The ICU converter name of an encoding.
const char* converterName(StringEncoding encoding) {
    for (const auto& entry : kEncodings)
        if (entry.encoding == encoding) return entry.icuName;
    return nullptr;
}

}  // namespace

StringEncoding encodingFromIANACharsetName(std::string_view name) {
    std::string trimmed = stringByTrimmingWhitespace(name);
    if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"')
        trimmed = trimmed.substr(1, trimmed.size() - 2);
    if (trimmed.empty()) return 0;
    const char* canonical = canonicalName(trimmed);
    if (!canonical) return 0;
    for (const auto& entry : kEncodings) {
        UErrorCode status = U_ZERO_ERROR;
        const char* known = ucnv_getAlias(entry.icuName, 0, &status);
        if (U_SUCCESS(status) && known && std::strcmp(known, canonical) == 0) return entry.encoding;
    }
    return 0;
}

std::optional<std::string> decodeString(const Data& bytes, StringEncoding encoding) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (encoding == NSUTF8StringEncoding) {
        if (!isValidUTF8(view)) return std::nullopt;
        std::string s(view);
        if (s.size() >= 3 && s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
        return s;
    }
    if (encoding == NSISOLatin1StringEncoding) {
        std::string out;
        out.reserve(bytes.size());
        for (std::uint8_t b : bytes) appendUTF8(out, b);
        return out;
    }
    const char* name = converterName(encoding);
    if (!name) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(name, &status), &ucnv_close);
    if (U_FAILURE(status)) return std::nullopt;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return std::nullopt;
    std::u16string units(bytes.size() * 2 + 4, u'\0');
    const int32_t length = ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()), view.data(),
                                         static_cast<int32_t>(view.size()), &status);
    if (U_FAILURE(status)) return std::nullopt;
    units.resize(static_cast<std::size_t>(length));
    return fromUTF16(units);
}

std::optional<Data> encodeString(std::string_view text, StringEncoding encoding) {
    if (!isValidUTF8(text)) return std::nullopt;
    if (encoding == NSUTF8StringEncoding) return Data(text.begin(), text.end());
    const char* name = converterName(encoding);
    if (!name) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(name, &status), &ucnv_close);
    if (U_FAILURE(status)) return std::nullopt;
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return std::nullopt;
    const std::u16string units = toUTF16(text);
    std::string out(units.size() * 4 + 8, '\0');
    const int32_t length = ucnv_fromUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()),
                                           reinterpret_cast<const UChar*>(units.data()),
                                           static_cast<int32_t>(units.size()), &status);
    if (U_FAILURE(status)) return std::nullopt;
    return Data(out.begin(), out.begin() + length);
}

std::string IANACharsetNameFromEncoding(StringEncoding encoding) {
    const char* name = converterName(encoding);
    if (!name) return {};
    std::string out = name;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
