// The image viewer's zoomed and panned view, free of any platform call: where the picture
// stands in the client area, how a zoom or pan step moves it, which part of the bitmap a
// paint has to stretch, and which file of a folder comes next.
//
// The client area is W x H; the picture lives in the area below the top band, x 0 to W,
// y kTopBand to H. A view puts the picture's top-left corner at (x, y) and shows each
// picture pixel as scale x scale screen pixels. Positions are kept fractional so that
// zooming around a point leaves that point exactly where it was however many steps are
// taken; painting rounds them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "yif_image.h"

namespace yif {

struct View {
    double scale = 1, x = 0, y = 0;
};

// Zoom steps are powers of 2^(1/3), about 1.26 a step: three steps double, so 100 %,
// 200 %, 400 % ... are reached exactly, and 1/64 to 64 times is 37 levels.
constexpr int kZoomStepsPerDoubling = 3;
constexpr int kZoomLevelsEachSide = 6 * kZoomStepsPerDoubling;  // 2^6 = 64
constexpr double kMinZoom = 1.0 / 64, kMaxZoom = 64;

// The fit view (the placement of placePicture) as a view, so that zooming or panning from
// it starts where the picture is seen.
inline View fitView(int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH) {
    const Placement p = placePicture(clientW, clientH, imageW, imageH);
    return {double(p.scale), double(p.x), double(p.y)};
}

// One axis of clampView: a picture no longer than the area is centred in it; a longer one
// covers it, leaving no empty margin on a side where picture remains.
inline double clampAxis(double at, double length, double areaStart, double areaLength) {
    if (length <= areaLength) return areaStart + (areaLength - length) / 2;
    return std::clamp(at, areaStart + areaLength - length, areaStart);  // a proper range here
}

inline View clampView(View v, int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH) {
    v.x = clampAxis(v.x, imageW * v.scale, 0, clientW);
    v.y = clampAxis(v.y, imageH * v.scale, kTopBand, double(clientH) - kTopBand);
    return v;
}

// Whether the picture of this view reaches past the area on some side, so that it can be
// panned.
inline bool overflows(const View& v, int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH) {
    return imageW * v.scale > clientW || imageH * v.scale > double(clientH) - kTopBand;
}

// The zoom `steps` levels above (or, negative, below) `scale`, held to 1/64 .. 64. A scale
// between levels (the fit view's) goes to the nearest level in that direction; a step
// never moves the other way, so a fit view beyond 64 times stays when zoomed in.
inline double zoomStep(double scale, int steps) {
    if (steps == 0) return scale;
    if (!(scale > 0)) return steps > 0 ? kMinZoom : scale;  // an area too small for any picture
    const double level = kZoomStepsPerDoubling * std::log2(scale);
    const double slack = 1e-6;  // a scale a rounding away from a level counts as on it
    int k = steps > 0 ? int(std::floor(level + slack)) + steps : int(std::ceil(level - slack)) + steps;
    k = std::clamp(k, -kZoomLevelsEachSide, kZoomLevelsEachSide);
    const double next = std::exp2(double(k) / kZoomStepsPerDoubling);
    return steps > 0 ? std::max(next, scale) : std::min(next, scale);
}

// `v` zoomed to `scale` around the client point (px, py): the picture point there stays.
inline View zoomAround(const View& v, double scale, double px, double py) {
    const double f = scale / v.scale;
    return {scale, px - (px - v.x) * f, py - (py - v.y) * f};
}

// One picture pixel per screen pixel, the picture centred on the area (then clamped).
inline View actualSize(int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH) {
    const View centred = {1, (double(clientW) - imageW) / 2,
                          kTopBand + (double(clientH) - kTopBand - imageH) / 2};
    return clampView(centred, clientW, clientH, imageW, imageH);
}

// Screen position of a view coordinate, as painting rounds it.
inline int64_t toPixel(double v) {
    return int64_t(std::floor(v + 0.5));
}

// What a paint of view `v` stretches: the source rectangle of whole picture pixels that
// covers the visible part of the area, and where those pixels go (which may reach up to
// one picture pixel past the area on each side: the caller clips to the area). Only this
// part is ever scaled, so the cost follows the window's size, not the picture's. Empty
// (sw == 0) when no picture pixel is visible.
struct Blit {
    int32_t dx = 0, dy = 0, dw = 0, dh = 0;
    int32_t sx = 0, sy = 0, sw = 0, sh = 0;
};

inline Blit visiblePart(const View& v, int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH) {
    Blit b;
    if (!(v.scale > 0) || imageW <= 0 || imageH <= 0) return b;
    // One axis: source pixels [s0, s1) and their destination [d0, d1).
    const auto axis = [&](double at, int32_t image, double areaStart, double areaEnd, int32_t& d, int32_t& dl,
                          int32_t& s, int32_t& sl) {
        const double from = std::max(areaStart, at), to = std::min(areaEnd, at + image * v.scale);
        if (!(from < to)) return false;
        const auto s0 = int64_t(std::clamp(std::floor((from - at) / v.scale), 0.0, double(image)));
        const auto s1 = int64_t(std::clamp(std::ceil((to - at) / v.scale), 0.0, double(image)));
        if (s1 <= s0) return false;
        const int64_t d0 = toPixel(at + double(s0) * v.scale), d1 = toPixel(at + double(s1) * v.scale);
        d = int32_t(d0), dl = int32_t(d1 - d0), s = int32_t(s0), sl = int32_t(s1 - s0);
        return dl > 0;
    };
    if (!axis(v.x, imageW, 0, clientW, b.dx, b.dw, b.sx, b.sw) ||
        !axis(v.y, imageH, kTopBand, clientH, b.dy, b.dh, b.sy, b.sh))
        return {};
    return b;
}

// The zoom as the title shows it, "400 %", "15 %", "1.6 %": whole percents from 10 % up,
// tenths below. Integer rounding, the same on every runtime.
inline void zoomText(double scale, char* out, size_t capacity) {
    const auto tenths = int64_t(std::floor(scale * 1000 + 0.5));
    if (tenths >= 100)
        std::snprintf(out, capacity, "%lld %%", static_cast<long long>((tenths + 5) / 10));
    else
        std::snprintf(out, capacity, "%lld.%lld %%", static_cast<long long>(tenths / 10),
                      static_cast<long long>(tenths % 10));
}

// Of `names` (a folder's files, in any order), the one after `current` in the order `less`
// (a strict total order), wrapping from the last to the first; with `forward` false the
// one before it, wrapping from the first to the last. `current` need not be among the
// names (a file removed meanwhile): the neighbours are where it would stand. Gives the
// index into `names` and that name's place in the order, 1-based; index == names.size()
// when there are none. No sorting: one pass, and a second only to wrap around.
struct Neighbour {
    size_t index = 0, place = 0;
};

template <class Name, class Less>
Neighbour neighbourInOrder(const std::vector<Name>& names, const Name& current, bool forward, Less less) {
    const size_t n = names.size();
    // `before(a, b)`: a comes first in the direction of travel.
    const auto before = [&](const Name& a, const Name& b) { return forward ? less(a, b) : less(b, a); };
    size_t best = n, behind = 0;  // the nearest name past `current`; how many are not past it
    for (size_t i = 0; i < n; ++i) {
        if (!before(current, names[i]))
            ++behind;
        else if (best == n || before(names[i], names[best]))
            best = i;
    }
    // Every name before the nearest one past `current` is one of those not past it.
    Neighbour result = {best, forward ? behind + 1 : n - behind};
    if (best != n || n == 0) return result;
    // Nothing past `current`: round to the first name in the direction of travel.
    result.index = 0;
    for (size_t i = 1; i < n; ++i)
        if (before(names[i], names[result.index])) result.index = i;
    result.place = forward ? 1 : n;
    return result;
}

}  // namespace yif
