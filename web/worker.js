// The page's decoding worker: runs the cores (the WebAssembly module the page compiled and
// posted here) on one file at a time, so that a long decode never freezes the page.
//
// In:  {module, maxPages}  once, then {id, kind: 'image' | 'doc' | 'sound', blob}
// Out: {id, status, error, ...what the view needs}; {id, trapped: true} after a trap, and
//      the page then starts a new worker (a trapped instance is in no state to go on).
'use strict';

let core = null;  // the module's exports
let memory = null;  // its memory, which only ever grows

const kNoMemory = 4, kCannotRead = 5;
// The largest picture a browser's canvas holds: 32767 pixels a side, 2^28 pixels in all.
const kMaxCanvasSide = 32767, kMaxCanvasArea = 1 << 28;

// The module uses no system call; these only satisfy its imports.
const wasi = {fd_close: () => 8, fd_seek: () => 8, fd_write: () => 8};

function text(pointer) {
    const bytes = new Uint8Array(memory.buffer, pointer);
    return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
}

// Copies bytes into memory of the module's; 0 when it has none left.
function place(bytes) {
    const at = core.yv_alloc(bytes.length);
    if (at) new Uint8Array(memory.buffer, at, bytes.length).set(bytes);
    return at;
}

function failure(error) {
    return {error, status: text(core.yv_error_text(error))};
}

async function readAll(blob) {
    try {
        return new Uint8Array(await blob.arrayBuffer());
    } catch (e) {
        return null;  // too big to hold, or unreadable
    }
}

async function openImage(blob) {
    const file = await readAll(blob);
    if (!file) return failure(kNoMemory);
    const at = place(file);
    if (!at) return failure(kNoMemory);
    const result = core.yv_alloc(528);
    try {
        const error = core.yv_image_inspect(at, file.length, result);
        const view = new DataView(memory.buffer, result);
        const answer = {error, status: text(result + 16)};
        if (error) return answer;
        const width = view.getUint32(4, true), height = view.getUint32(8, true);
        const bytes = view.getUint32(12, true);
        answer.width = width;
        answer.height = height;
        if (bytes === 0) return answer;  // accepted, but no bitmap: the status line alone
        if (width > kMaxCanvasSide || height > kMaxCanvasSide || width * height > kMaxCanvasArea)
            return failure(kNoMemory);
        const pixels = core.yv_alloc(bytes);
        if (!pixels) return failure(kNoMemory);
        try {
            const started = performance.now();
            core.yv_image_decode(at, file.length, pixels, bytes);
            answer.decodeMs = performance.now() - started;  // for the benchmark
            const data = new ImageData(new Uint8ClampedArray(memory.buffer, pixels, bytes).slice(), width, height);
            answer.bitmap = await createImageBitmap(data, {premultiplyAlpha: 'none', colorSpaceConversion: 'none'});
        } catch (e) {
            if (e instanceof WebAssembly.RuntimeError) throw e;
            return failure(kNoMemory);  // the copy or the bitmap could not be had
        } finally {
            core.yv_free(pixels);
        }
        return answer;
    } finally {
        core.yv_free(result);
        core.yv_free(at);
    }
}

async function openDocument(blob) {
    // The reader measures a file with a signed 32-bit size: anything larger it cannot read.
    if (blob.size >= 0x7FFFFFFF) return failure(kCannotRead);
    const file = await readAll(blob);
    if (!file) return failure(kNoMemory);
    const at = place(file);
    if (!at) return failure(kNoMemory);
    const result = core.yv_alloc(16);
    let runs = 0;
    try {
        core.yv_doc_render(at, file.length, 0, 0, result);
        const needed = new DataView(memory.buffer, result).getUint32(4, true);
        runs = core.yv_alloc(needed);
        if (!runs) return failure(kNoMemory);
        core.yv_doc_render(at, file.length, runs, needed, result);
        const view = new DataView(memory.buffer, result);
        return {
            error: 0,
            runCount: view.getUint32(0, true),
            utf8: view.getInt32(8, true) === 1,
            runs: new Uint8Array(memory.buffer, runs, needed).slice().buffer,
        };
    } finally {
        core.yv_free(runs);
        core.yv_free(result);
        core.yv_free(at);
    }
}

async function openSound(blob) {
    // The core reads only the header; the samples go to the page as they stand.
    const head = await readAll(blob.slice(0, 20));
    if (!head) return failure(kCannotRead);
    const at = place(head);
    const result = core.yv_alloc(540);
    try {
        const error = core.yv_sound_inspect(at, blob.size, result);
        const view = new DataView(memory.buffer, result);
        const answer = {error, status: text(result + 28)};
        if (error) return answer;
        const offset = view.getUint32(16, true), bytes = view.getUint32(20, true);
        Object.assign(answer, {
            rate: view.getUint32(4, true),
            channels: view.getUint32(8, true),
            frames: view.getUint32(12, true),
            playable: view.getInt32(24, true) === 1,
        });
        const samples = await readAll(blob.slice(offset, offset + bytes));
        if (!samples) return failure(kNoMemory);
        answer.samples = samples.buffer;  // 16-bit little-endian, as every browser's platform
        return answer;
    } finally {
        core.yv_free(result);
        core.yv_free(at);
    }
}

const openers = {image: openImage, doc: openDocument, sound: openSound};

let started = null;  // resolves once the module is instantiated; files wait for it

onmessage = async ({data}) => {
    if (data.module) {
        memory = new WebAssembly.Memory({initial: data.initialPages, maximum: data.maxPages});
        started = WebAssembly.instantiate(data.module, {env: {memory}, wasi_snapshot_preview1: wasi})
            .then((instance) => (core = instance.exports));
        return;
    }
    let answer;
    try {
        await started;
        answer = await openers[data.kind](data.blob);
    } catch (e) {
        // A trap (the cores found no memory for a container), or the browser's own limit.
        postMessage({id: data.id, trapped: true});
        return;
    }
    answer.id = data.id;
    answer.memoryBytes = memory.buffer.byteLength;
    const transfer = [answer.bitmap, answer.runs, answer.samples].filter(Boolean);
    postMessage(answer, transfer);
};
