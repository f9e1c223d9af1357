#pragma once

// Image contexts as the platform's UIGraphicsBeginImageContextWithOptions
// gives them: a bitmap of a size in points at a scale, made the current
// graphics context of the calling thread until it is ended. Contexts nest (a
// stack per thread); each thread has its own, so the details cache's workers
// draw at the same time without meeting.

#include <memory>

#include "platform/ui/Geometry.h"

class GraphicsContext;
class Image;

// Starts a context of that size in points. A scale of 0 means the main
// screen's scale. A context that is not opaque starts clear; an opaque one
// starts opaque black.
void beginImageContextWithOptions(Size size, bool opaque, double scale);
// The image of what the innermost context holds now, at its scale; nullptr
// without a context.
std::shared_ptr<Image> imageFromCurrentImageContext();
// Ends the innermost context (nothing without one); the one around it becomes
// current again.
void endImageContext();
