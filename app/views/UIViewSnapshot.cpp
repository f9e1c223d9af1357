#include "app/views/UIViewSnapshot.h"

#include "platform/foundation/FileManager.h"
#include "platform/media/ImageCodec.h"
#include "platform/ui/Image.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewRendering.h"

namespace {

bool writeEncoded(const std::optional<Data>& data, const std::string& path, Error* error) {
    if (!data) {
        Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteUnknownError,
                                Value::dictionary({{NSLocalizedDescriptionKey, Value("The image could not be encoded.")}})));
        return false;
    }
    // Written beside and renamed, so a reader never sees half a file.
    return writeDataAtomically(*data, path, error);
}

}  // namespace

std::shared_ptr<Image> viewAsImage(View& view) {
    // Every layer here can rasterise, so the snapshot always takes the view's
    // content scale, which is the main screen's.
    return renderViewToImage(view, Screen::main().scale());
}

bool savePNG(View& view, const std::string& path, Error* error) {
    Error::clear(error);
    return writeEncoded(imagePNGRepresentation(*viewAsImage(view)), path, error);
}

bool saveJPEG(View& view, const std::string& path, double compressionQuality, Error* error) {
    Error::clear(error);
    return writeEncoded(imageJPEGRepresentation(*viewAsImage(view), compressionQuality), path, error);
}

std::vector<std::shared_ptr<LayoutConstraint>> twAddConstraintsWithVisualFormat(
    View& view, const std::string& format, const std::map<std::string, std::shared_ptr<View>>& views) {
    auto constraints = LayoutConstraint::constraintsWithVisualFormat(format, 0, {}, views);
    view.addConstraints(constraints);
    return constraints;
}

std::vector<std::shared_ptr<LayoutConstraint>> twConstraintsToCenterView(const std::shared_ptr<View>& view,
                                                                         const std::shared_ptr<View>& superview) {
    return {LayoutConstraint::constraintWithItem(view, LayoutAttribute::CenterX, LayoutRelation::Equal, superview,
                                                 LayoutAttribute::CenterX, 1, 0),
            LayoutConstraint::constraintWithItem(view, LayoutAttribute::CenterY, LayoutRelation::Equal, superview,
                                                 LayoutAttribute::CenterY, 1, 0)};
}
