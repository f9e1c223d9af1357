#include "platform/media/ImageContext.h"

#include <cairo.h>

#include <memory>
#include <vector>

#include "platform/media/BitmapContext.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace {

struct OpenContext {
    std::unique_ptr<BitmapContext> bitmap;
    std::unique_ptr<GraphicsContext::Scope> scope;
};

thread_local std::vector<OpenContext> openContexts;

}  // namespace

void beginImageContextWithOptions(Size size, bool opaque, double scale) {
    if (scale <= 0) scale = Screen::main().scale();
    OpenContext open;
    open.bitmap = std::make_unique<BitmapContext>(size, scale);
    if (opaque) {
        cairo_t* cr = open.bitmap->cairo();
        cairo_save(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    open.scope = std::make_unique<GraphicsContext::Scope>(open.bitmap->context());
    openContexts.push_back(std::move(open));
}

std::shared_ptr<Image> imageFromCurrentImageContext() {
    if (openContexts.empty()) return nullptr;
    return openContexts.back().bitmap->makeImage();
}

void endImageContext() {
    if (openContexts.empty()) return;
    // The scope goes first: it makes the enclosing context current again.
    openContexts.back().scope.reset();
    openContexts.pop_back();
}
