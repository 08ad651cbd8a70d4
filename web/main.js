// Yorvel in a browser: opens YIF images, YDF documents and YAF sounds with the programs'
// own cores, compiled to WebAssembly. Files come from the Open button (or Ctrl+O), from
// a drop anywhere on the page, or from the address (#URL, same origin only); nothing
// leaves the machine. Of several files, the first is shown; PgDn / PgUp go through the
// others.
import {errorText, kCannotOpen, loadCores, openInWorker} from './core.js';
import {DocumentView, unpackRuns} from './doc.js';
import {ImageView} from './image.js';
import {SoundView} from './sound.js';

const $ = (id) => document.getElementById(id);
const status = $('status');
const views = {
    image: {element: $('picture'), status: status.textContent},
    doc: {element: $('document'), status: status.textContent},
    sound: {element: $('wave'), status: status.textContent},
};
const image = new ImageView(views.image.element);
const doc = new DocumentView(views.doc.element);
const sound = new SoundView(views.sound.element, $('time'), (text) => setStatus('sound', text));
let current = 'image';  // the view shown
let files = [];         // the files opened together, and which of them is shown
let shown = 0;
let ready = null;       // resolves once the cores are loaded
let latest = 0;         // the newest open request: an older one that ends later is dropped

function setStatus(kind, text) {
    views[kind].status = text;
    if (kind === current) status.textContent = text;
}

function showView(kind) {
    if (kind !== current && current === 'sound') sound.stop();
    current = kind;
    document.body.className = kind;
    for (const [k, v] of Object.entries(views)) v.element.hidden = k !== kind;
    status.textContent = views[kind].status;
    $('time').textContent = '';
    if (kind === 'image') image.draw();
    if (kind === 'sound') sound.draw();
}

// The kind of a file: by its extension, else by its first bytes; a document otherwise,
// as the reader takes any text.
async function kindOf(blob, name) {
    const ext = /\.([^./\\]*)$/.exec(name)?.[1].toLowerCase();
    if (ext === 'yif') return 'image';
    if (ext === 'yaf') return 'sound';
    if (ext === 'ydf' || ext === 'json') return 'doc';
    const magic = new TextDecoder('latin1').decode(await blob.slice(0, 4).arrayBuffer());
    return magic === 'YIF1' ? 'image' : magic === 'YAF7' ? 'sound' : 'doc';
}

// Opens one file in the view of its kind. A refused image or sound changes only that
// view's status line, and the previous picture or sound stays, as in the programs; a
// refused document shows why in the view, as the reader does.
async function open(blob, name) {
    const request = ++latest;
    await ready;
    let kind;
    try {
        kind = await kindOf(blob, name);
    } catch (e) {
        kind = 'doc';
        blob = null;
    }
    const result = blob ? await openInWorker(kind, blob) : {error: kCannotOpen, status: errorText(kCannotOpen)};
    if (request !== latest) return;
    showView(kind);
    if (kind === 'doc') {
        if (result.error) {
            doc.showError(result.status);
        } else {
            doc.show(unpackRuns(result.runs));
            setStatus('doc', name);
            document.title = `${name} - Yorvel`;
        }
    } else if (kind === 'image') {
        setStatus('image', result.status);
        if (!result.error) {
            image.show(result.bitmap, result.width, result.height);
            document.title = `${name} - Yorvel`;
        }
    } else {
        setStatus('sound', result.status);
        if (!result.error) {
            sound.show({...result, samples: new Int16Array(result.samples)});
            document.title = `${name} - Yorvel`;
        }
    }
    document.dispatchEvent(new CustomEvent('yorvel-opened', {detail: {kind, name, status: result.status, decodeMs: result.decodeMs}}));
}

function openList(list) {
    files = [...list];
    shown = 0;
    if (files.length) open(files[0], files[0].name);
}

function step(by) {
    if (files.length < 2) return;
    shown = (shown + by + files.length) % files.length;
    open(files[shown], files[shown].name);
}

// #URL: a file of the same site, for pages that link Yorvel files.
async function openAddress() {
    const target = decodeURIComponent(location.hash.slice(1));
    if (!target) return;
    const name = target.split(/[/?#]/).filter(Boolean).pop() || target;
    let blob = null;
    try {
        const url = new URL(target, location.href);
        if (url.origin !== location.origin || url.origin === 'null') throw new Error('another site');
        const response = await fetch(url);
        if (!response.ok) throw new Error(response.statusText);
        blob = await response.blob();
    } catch (e) {
        blob = null;
    }
    if (blob) {
        files = [];
        open(blob, name);
        return;
    }
    await ready;
    const kind = await kindOf(new Blob(), name);
    showView(kind);
    const text = errorText(kCannotOpen);
    if (kind === 'doc') doc.showError(text); else setStatus(kind, text);
}

function onKey(e) {
    if (e.defaultPrevented || e.altKey) return;
    const ctrl = e.ctrlKey || e.metaKey;
    if (ctrl && e.key.toLowerCase() === 'o') {
        e.preventDefault();
        $('file').click();
        return;
    }
    if (!ctrl && (e.key === 'PageDown' || e.key === 'PageUp') && current !== 'doc') {
        e.preventDefault();
        step(e.key === 'PageDown' ? 1 : -1);
        return;
    }
    if (e.target instanceof HTMLInputElement) return;
    const handled = current === 'image' ? image.onKey(e) : current === 'sound' && !ctrl ? sound.onKey(e) : false;
    if (handled) e.preventDefault();
}

function onDrop(e) {
    e.preventDefault();
    document.body.classList.remove('drop');
    if (e.dataTransfer?.files.length) openList(e.dataTransfer.files);
}

$('file').addEventListener('change', (e) => {
    openList(e.target.files);
    e.target.value = '';
    e.target.blur();  // so that Space and the arrows go to the view, not to the button
});
document.addEventListener('keydown', onKey);
document.addEventListener('dragover', (e) => {
    e.preventDefault();
    document.body.classList.add('drop');
});
document.addEventListener('dragleave', (e) => {
    if (!e.relatedTarget) document.body.classList.remove('drop');
});
document.addEventListener('drop', onDrop);
window.addEventListener('hashchange', openAddress);
new ResizeObserver(() => {
    if (current === 'image') image.resized();
    if (current === 'sound') sound.draw();
}).observe($('view'));

// For tests and the console: the views, and a promise for the next file shown.
globalThis.yorvel = {image, doc, sound, opened: () => new Promise((resolve) =>
    document.addEventListener('yorvel-opened', (e) => resolve(e.detail), {once: true}))};

ready = loadCores().then(() => {
    document.documentElement.dataset.ready = '1';
    performance.mark('yorvel-ready');
}, (e) => {
    // No WebAssembly here, or the module could not be fetched: say so where files would show.
    status.textContent = `[ERROR] ${e.message}`;
    return new Promise(() => {});  // files wait for ever rather than fail half-way
});
openAddress();
