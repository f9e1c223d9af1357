#pragma once

#include <cairo.h>

// A cairo context on a 1 x 1 surface, for measuring text and working out paths
// in user space where nothing is drawn. Lives for a scope.
struct ScratchCairo {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ScratchCairo() = default;
    ScratchCairo(const ScratchCairo&) = delete;
    ScratchCairo& operator=(const ScratchCairo&) = delete;
    ~ScratchCairo() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};
