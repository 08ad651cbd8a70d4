// The image view: the viewer's fit view first (95 % of the largest size that fits, placed
// as the viewer places it, smoothed), then zoom, actual size, fit and pan on the user's
// input. Positions are in CSS pixels; the canvas has one backing pixel per device pixel.
import {cleared} from './canvas.js';
import {placePicture} from './core.js';

const kTopBand = 40;  // the viewer places its picture below a band this high
const kMinScale = 1 / 64, kMaxScale = 64, kStep = 1.25;

export class ImageView {
    constructor(canvas) {
        this.canvas = canvas;
        this.bitmap = null;  // the picture (an ImageBitmap), null when none
        this.width = 0;      // the picture's size as its header gives it
        this.height = 0;
        this.fit = true;     // the fit view; otherwise scale and origin hold
        this.scale = 1;      // CSS pixels a picture pixel
        this.x = 0;          // where the picture's top-left corner is, in the canvas
        this.y = 0;
        this.pointers = new Map();  // pointer id -> last position, while pressed
        this.pinch = 0;             // distance between two pointers at the last move
        canvas.addEventListener('wheel', (e) => this.onWheel(e), {passive: false});
        canvas.addEventListener('pointerdown', (e) => this.onPointerDown(e));
        canvas.addEventListener('pointermove', (e) => this.onPointerMove(e));
        canvas.addEventListener('pointerup', (e) => this.onPointerUp(e));
        canvas.addEventListener('pointercancel', (e) => this.onPointerUp(e));
    }

    // A new picture (or none) in the fit view. The previous bitmap is released.
    show(bitmap, width, height) {
        if (this.bitmap) this.bitmap.close();
        this.bitmap = bitmap || null;
        this.width = width;
        this.height = height;
        this.fit = true;
        this.draw();
    }

    area() {
        return {w: this.canvas.clientWidth, h: this.canvas.clientHeight};
    }

    // The fit view's rectangle in the canvas: the viewer's placement in a client area of
    // the canvas plus the band above it.
    fitRect() {
        const {w, h} = this.area();
        const p = placePicture(w, h + kTopBand, this.width, this.height);
        return {x: p.x, y: p.y - kTopBand, width: p.width, height: p.height};
    }

    draw() {
        const {g} = cleared(this.canvas);
        this.canvas.classList.toggle('movable', !this.fit && this.movable());
        if (!this.bitmap) return;
        let r;
        if (this.fit) {
            r = this.fitRect();
            g.imageSmoothingEnabled = true;  // the viewer's HALFTONE, whatever the scale
        } else {
            r = {x: this.x, y: this.y, width: this.width * this.scale, height: this.height * this.scale};
            // Enlarged, each picture pixel a block of one colour; shrunk or 1:1, smoothed.
            g.imageSmoothingEnabled = this.scale <= 1;
        }
        g.imageSmoothingQuality = 'high';
        // Unreached pixels of a short stream are transparent black; the viewer shows them black.
        g.fillStyle = '#000';
        g.fillRect(r.x, r.y, r.width, r.height);
        g.drawImage(this.bitmap, r.x, r.y, r.width, r.height);
    }

    // A new size of the page: the fit view is placed anew; a zoomed picture keeps its
    // scale and stays on screen.
    resized() {
        if (!this.fit) this.clamp();
        this.draw();
    }

    // Leaves the fit view for a scale and origin that show the same thing.
    unfit() {
        if (!this.fit) return;
        const r = this.fitRect();
        this.fit = false;
        this.scale = r.width / this.width || kMinScale;
        this.x = r.x;
        this.y = r.y;
    }

    movable() {
        const {w, h} = this.area();
        return this.width * this.scale > w || this.height * this.scale > h;
    }

    // Keeps the picture on screen: centred along a side it does not fill, and with no
    // empty margin along a side where picture remains.
    clamp() {
        const {w, h} = this.area();
        const pw = this.width * this.scale, ph = this.height * this.scale;
        this.x = pw <= w ? (w - pw) / 2 : Math.min(0, Math.max(w - pw, this.x));
        this.y = ph <= h ? (h - ph) / 2 : Math.min(0, Math.max(h - ph, this.y));
    }

    // Zooms by `factor` around the canvas point (cx, cy), which stays where it is.
    zoomAt(factor, cx, cy) {
        if (!this.bitmap) return;
        this.unfit();
        const scale = Math.min(kMaxScale, Math.max(kMinScale, this.scale * factor));
        this.x = cx - (cx - this.x) * (scale / this.scale);
        this.y = cy - (cy - this.y) * (scale / this.scale);
        this.scale = scale;
        this.clamp();
        this.draw();
    }

    zoomCentre(factor) {
        const {w, h} = this.area();
        this.zoomAt(factor, w / 2, h / 2);
    }

    actualSize() {
        if (!this.bitmap) return;
        const {w, h} = this.area();
        this.fit = false;
        this.scale = 1;
        // Whole pixels, so that each picture pixel lands on one screen pixel.
        this.x = Math.floor((w - this.width) / 2);
        this.y = Math.floor((h - this.height) / 2);
        this.clamp();
        this.x = Math.round(this.x);
        this.y = Math.round(this.y);
        this.draw();
    }

    fitView() {
        this.fit = true;
        this.draw();
    }

    panBy(dx, dy) {
        if (this.fit || !this.bitmap) return;
        this.x += dx;
        this.y += dy;
        this.clamp();
        this.draw();
    }

    // The keys of the viewer. True when the key was one of them.
    onKey(e) {
        const {w, h} = this.area();
        const ctrl = e.ctrlKey || e.metaKey;
        switch (e.key) {
            case '+': case '=': this.zoomCentre(kStep); return true;
            case '-': case '_': this.zoomCentre(1 / kStep); return true;
            case '1': this.actualSize(); return true;
            case '0': this.fitView(); return true;
        }
        if (ctrl || this.fit) return false;
        switch (e.key) {
            case 'ArrowLeft': this.panBy(w / 10, 0); return true;
            case 'ArrowRight': this.panBy(-w / 10, 0); return true;
            case 'ArrowUp': this.panBy(0, h / 10); return true;
            case 'ArrowDown': this.panBy(0, -h / 10); return true;
            case 'Home': this.panBy(Infinity, Infinity); return true;
            case 'End': this.panBy(-Infinity, -Infinity); return true;
        }
        return false;
    }

    onWheel(e) {
        if (!this.bitmap) return;
        e.preventDefault();
        // About 1.25 a notch (100 pixels, or 3 lines); finer steps from touchpads and pinches.
        const notches = e.deltaMode === 1 ? e.deltaY / 3 : e.deltaMode === 2 ? e.deltaY : e.deltaY / 100;
        const r = this.canvas.getBoundingClientRect();
        this.zoomAt(Math.pow(kStep, -notches), e.clientX - r.left, e.clientY - r.top);
    }

    onPointerDown(e) {
        if (!this.bitmap || (e.pointerType === 'mouse' && e.button !== 0)) return;
        this.canvas.setPointerCapture(e.pointerId);
        this.pointers.set(e.pointerId, {x: e.clientX, y: e.clientY});
        this.pinch = this.spread();
        this.canvas.classList.toggle('moving', !this.fit && this.movable());
    }

    spread() {
        const [a, b] = [...this.pointers.values()];
        return b ? Math.hypot(a.x - b.x, a.y - b.y) : 0;
    }

    onPointerMove(e) {
        const last = this.pointers.get(e.pointerId);
        if (!last) return;
        const dx = e.clientX - last.x, dy = e.clientY - last.y;
        this.pointers.set(e.pointerId, {x: e.clientX, y: e.clientY});
        if (this.pointers.size === 2) {
            // Two fingers: zoom by how far apart they moved, around their middle.
            const spread = this.spread();
            const [a, b] = [...this.pointers.values()];
            const r = this.canvas.getBoundingClientRect();
            if (this.pinch > 0 && spread > 0)
                this.zoomAt(spread / this.pinch, (a.x + b.x) / 2 - r.left, (a.y + b.y) / 2 - r.top);
            this.pinch = spread;
        } else if (this.pointers.size === 1) {
            this.panBy(dx, dy);
        }
    }

    onPointerUp(e) {
        this.pointers.delete(e.pointerId);
        this.pinch = this.spread();
        this.canvas.classList.remove('moving');
    }
}
