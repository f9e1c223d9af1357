#include "platform/ui/ViewRendering.h"

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

std::shared_ptr<Image> renderViewToImage(View& view, double scale) {
    view.layoutIfNeeded();
    const Rect frame = view.frame();
    return Image::render(view.bounds().size, scale, [&](GraphicsContext& context) {
        view.traitCollection().performAsCurrent([&] {
            // The layer draws itself where it sits in its superview; move that spot to the origin.
            context.translate(-frame.origin.x, -frame.origin.y);
            view.layer().renderInContext(context);
        });
    });
}

bool writeViewPNG(View& view, const std::string& path, double scale, Error* error) {
    Error::clear(error);
    return renderViewToImage(view, scale)->writePNG(path, error);
}
