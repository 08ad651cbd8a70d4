// The cores on the page's side: the WebAssembly module compiled once, an instance of it
// here for the arithmetic of the views (placement, waveform), and the worker that opens
// files with another instance.
const kPage = 65536;
const kInitialPages = 16;  // what the module is linked to start with (web/web.mk)
// The worker's memory may grow to the most a 32-bit module can address, as a program's
// may; a test can set a lower bound before the page loads.
const kMaxPages = Math.min(65536, Math.ceil((globalThis.yorvelMaxMemoryMiB || 4096) * 1048576 / kPage));

const wasi = {fd_close: () => 8, fd_seek: () => 8, fd_write: () => 8};

let module = null;
let core = null;  // this page's instance: pure arithmetic, never a file
let memory = null;
let scratch = 0;  // room for four results or a short text in this instance
const kScratchBytes = 64;
let worker = null;
let nextId = 1;
const pending = new Map();  // id -> {resolve}

// The module's bytes: inlined in the single-file page, else next to the page.
async function moduleBytes() {
    const inline = document.getElementById('yorvel-wasm');
    if (inline) return Uint8Array.from(atob(inline.textContent.trim()), (c) => c.charCodeAt(0));
    const response = await fetch(new URL('yorvel.wasm', import.meta.url));
    if (!response.ok) throw new Error('yorvel.wasm: ' + response.status);
    return new Uint8Array(await response.arrayBuffer());
}

function workerUrl() {
    const inline = document.getElementById('yorvel-worker');
    if (inline) return URL.createObjectURL(new Blob([inline.textContent], {type: 'text/javascript'}));
    return new URL('worker.js', import.meta.url);
}

function startWorker() {
    worker = new Worker(workerUrl());
    worker.postMessage({module, initialPages: kInitialPages, maxPages: kMaxPages});
    worker.onmessage = ({data}) => {
        const job = pending.get(data.id);
        if (!job) return;
        pending.delete(data.id);
        if (data.trapped) {
            restartWorker();
            job.resolve(noMemory());
            return;
        }
        job.resolve(data);
        // Memory a module took is never given back: after a large file, a fresh worker.
        if (data.memoryBytes > 256 * 1048576) restartWorker();
    };
    // The worker itself died (the browser ran out of memory for it): every file it had
    // fails as a trap would, and a new one takes over.
    worker.onerror = () => {
        for (const [id, job] of pending) {
            pending.delete(id);
            job.resolve(noMemory());
        }
        restartWorker();
    };
}

// A new worker in place of the old one; the files still waiting go to it.
function restartWorker() {
    worker.terminate();
    startWorker();
    for (const [id, job] of pending) worker.postMessage({id, kind: job.kind, blob: job.blob});
}

export async function loadCores() {
    module = await WebAssembly.compile(await moduleBytes());
    memory = new WebAssembly.Memory({initial: kInitialPages, maximum: kInitialPages});
    core = (await WebAssembly.instantiate(module, {env: {memory}, wasi_snapshot_preview1: wasi})).exports;
    scratch = core.yv_alloc(kScratchBytes);
    startWorker();
}

// The NUL-terminated text at `at` in this instance's memory.
function textAt(at) {
    const bytes = new Uint8Array(memory.buffer, at);
    return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
}

export function errorText(code) {
    return textAt(core.yv_error_text(code));
}

export const kCannotOpen = 1, kNoMemory = 4;

function noMemory() {
    return {error: kNoMemory, status: errorText(kNoMemory)};
}

// Opens `blob` as an image, a document or a sound in the worker; resolves with what the
// view needs, or {error, status}.
export function openInWorker(kind, blob) {
    const id = nextId++;
    return new Promise((resolve) => {
        pending.set(id, {kind, blob, resolve});
        worker.postMessage({id, kind, blob});
    });
}


// The viewer's fit placement of an imageW x imageH picture in a client area of
// clientW x clientH whose top 40 pixels are the band: {x, y, width, height}.
export function placePicture(clientW, clientH, imageW, imageH) {
    core.yv_image_place(clientW, clientH, imageW, imageH, scratch);
    const v = new Int32Array(memory.buffer, scratch, 4);
    return {x: v[0], y: v[1], width: v[2], height: v[3]};
}

export function waveMid(clientH) {
    return core.yv_wave_mid(clientH);
}
export function waveFrame(x, clientW, frames) {
    return core.yv_wave_frame(x, clientW, frames) >>> 0;
}
export function waveY(sample, clientH) {
    return core.yv_wave_y(sample, clientH);
}

// Where the sound is while it plays, as the player has it: the cursor's column for
// `frame` (clientW > 0, frames > 0), the frame `seconds` from `frame` within the sound,
// and "m:ss.t / m:ss.t" ('' for a rate of 0).
export function waveColumn(frame, clientW, frames) {
    return core.yv_wave_column(frame, clientW, frames);
}
export function seekFrame(frame, seconds, rate, frames) {
    return core.yv_seek_frame(frame, seconds, rate, frames) >>> 0;
}
export function playTime(elapsed, frames, rate) {
    core.yv_play_time(elapsed, frames, rate, scratch, kScratchBytes);
    return textAt(scratch);
}
