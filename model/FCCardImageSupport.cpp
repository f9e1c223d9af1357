#include "model/FCCardImageSupport.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "model/TWStringAdditions.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

const char* const kPNG = "public.png";
const char* const kJPEG = "public.jpeg";
const char* const kJPEG2000 = "public.jpeg-2000";
const char* const kBMP = "com.microsoft.bmp";
const char* const kGIF = "com.compuserve.gif";
const char* const kTIFF = "public.tiff";

// The uniform type a file extension stands for, as far as image types go.
// None of these types has a subtype among the extensions we know, so
// conforming to a supported type means being one.
std::optional<std::string_view> imageTypeForExtension(const std::string& extension) {
    static const std::pair<std::string_view, std::string_view> kTypes[] = {
        {"png", kPNG},  {"jpg", kJPEG},      {"jpeg", kJPEG},     {"jpe", kJPEG},      {"jp2", kJPEG2000},
        {"jpf", kJPEG2000}, {"jpx", kJPEG2000}, {"j2k", kJPEG2000}, {"j2c", kJPEG2000}, {"bmp", kBMP},
        {"dib", kBMP},  {"gif", kGIF},       {"tif", kTIFF},      {"tiff", kTIFF},
    };
    const std::string key = lowercaseString(extension);
    for (const auto& [ext, type] : kTypes)
        if (ext == key) return type;
    return std::nullopt;
}

}  // namespace

const std::vector<std::string>& FCCardImageSupport::supportedImageTypes() {
    static const std::vector<std::string> types = {kPNG, kJPEG, kJPEG2000, kBMP, kGIF, kTIFF};
    return types;
}

bool FCCardImageSupport::isImageWithExtensionSupported(const std::optional<std::string>& extension) {
    if (!extension) return false;
    const auto type = imageTypeForExtension(*extension);
    if (!type) return false;
    const auto& supported = supportedImageTypes();
    return std::find(supported.begin(), supported.end(), *type) != supported.end();
}

std::optional<URL> FCCardImageSupport::cardAttachmentURLForFileName(const std::optional<std::string>& fileName) {
    if (!fileName) return std::nullopt;
    // The name is the URL's whole authority: slashes, colons and at-signs in it
    // would split it into other parts.
    static const URLAllowedCharacters allowed = URLAllowedCharacters::URLPathAllowed().removing("/:@");
    return URL::URLWithString("card-attachment://" + stringByAddingPercentEncoding(*fileName, allowed));
}

FCCardImageSupport::Size FCCardImageSupport::htmlImgActualSizeForNativeSize(Size nativeSize, double maxWidth) {
    Size size = nativeSize;
    if (nativeSize.width > maxWidth) {
        size.width = maxWidth;
        size.height = nativeSize.height * maxWidth / nativeSize.width;
    }
    return {std::round(size.width), std::round(size.height)};
}

std::string FCCardImageSupport::htmlSnippetForImageWithName(const std::string& name, Size nativeSize,
                                                            double maxWidth) {
    std::string html = "<img ";
    if (nativeSize.width > 0 && nativeSize.height > 0) {
        const Size size = htmlImgActualSizeForNativeSize(nativeSize, maxWidth);
        html += stringWithFormat(
            "width=\"%.0f\" height=\"%.0f\" data-fc-native-width=\"%.0f\" data-fc-native-height=\"%.0f\" ",
            size.width, size.height, nativeSize.width, nativeSize.height);
    }
    html += "src=\"card-attachment://" + twStringByEscapingHTML(name) + "\">";
    return html;
}
