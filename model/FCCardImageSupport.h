#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"

// Images in card HTML: the image types a card accepts, the "card-attachment"
// URL of an attached file and the img element that shows it.
class FCCardImageSupport {
public:
    // A size in points (the platform's geometry size).
    struct Size {
        double width = 0;
        double height = 0;
        bool operator==(const Size&) const = default;
    };

    // The uniform type identifiers of PNG, JPEG, JPEG 2000, BMP, GIF and TIFF,
    // in this order.
    static const std::vector<std::string>& supportedImageTypes();
    // Whether the type of a file extension (any case, without the dot) is one of
    // the supported types; NO for nil.
    static bool isImageWithExtensionSupported(const std::optional<std::string>& extension);

    // "card-attachment://" followed by the file name; nullopt for nil. Characters
    // that would change the URL's structure are percent-escaped.
    static std::optional<URL> cardAttachmentURLForFileName(const std::optional<std::string>& fileName);

    // The native size, or, when it is wider than maxWidth, the size scaled down
    // to maxWidth; rounded to whole numbers.
    static Size htmlImgActualSizeForNativeSize(Size nativeSize, double maxWidth);
    // An img element showing the attachment; with both native sides above 0 it
    // carries the display and native sizes.
    static std::string htmlSnippetForImageWithName(const std::string& name, Size nativeSize, double maxWidth);
};
