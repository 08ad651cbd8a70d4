// Canvases of the page: one backing pixel per device pixel, drawn in CSS pixels.

// Sizes `canvas` to its element's box, clears it and returns its context, set to draw in
// CSS pixels, with the box's width and height in them.
export function cleared(canvas) {
    const ratio = devicePixelRatio || 1, w = canvas.clientWidth, h = canvas.clientHeight;
    const bw = Math.round(w * ratio), bh = Math.round(h * ratio);
    if (canvas.width !== bw || canvas.height !== bh) {
        canvas.width = bw;
        canvas.height = bh;
    }
    const g = canvas.getContext('2d');
    g.setTransform(1, 0, 0, 1, 0, 0);
    g.clearRect(0, 0, bw, bh);
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    return {g, w, h};
}
