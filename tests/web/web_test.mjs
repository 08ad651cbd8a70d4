// The browser page in headless Chromium, driven by playwright-core: what it shows is
// compared with what the yorvel tool makes of the same files.
//
//   node web_test.mjs REPO YORVEL WORKDIR
//
// REPO/build/web holds the page (make web); WORKDIR is a scratch folder in the build tree,
// where the browser's profile, the generated files and the screenshots go. The README's
// pictures of the page are taken here too (WORKDIR/shots/web-*.png) and compared with
// docs/web-*.png: a difference is one line of the output, not a failure (another
// machine's fonts draw other pixels); `make web-shots` copies them into docs/.
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {createRequire} from 'node:module';

const [repo, yorvel, work] = process.argv.slice(2).map((p) => path.resolve(p));
const require = createRequire(path.join(work, 'package.json'));
const {chromium} = require('playwright-core');

const web = path.join(repo, 'build/web');
const files = path.join(work, 'files');
const shots = path.join(work, 'shots');
let passed = 0, failed = 0;

function check(ok, what, detail = '') {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        console.log(`FAIL ${what}${detail ? ': ' + detail : ''}`);
    }
}

// What the tool says about a file: its status line, or its refusal's text.
function info(file) {
    const r = spawnSync(yorvel, ['info', file], {encoding: 'utf8'});
    return r.status === 0 ? r.stdout.trim() : r.stderr.trim().split('\n').pop();
}

function convert(file, ext) {
    const out = path.join(work, 'out.' + ext);
    fs.rmSync(out, {force: true});
    const r = spawnSync(yorvel, ['convert', file, out]);
    return r.status === 0 ? fs.readFileSync(out) : null;
}

function readPam(bytes) {
    const end = bytes.indexOf('ENDHDR\n') + 7;
    const head = bytes.subarray(0, end).toString('latin1');
    const num = (key) => Number(new RegExp(key + ' (\\d+)').exec(head)[1]);
    return {width: num('WIDTH'), height: num('HEIGHT'), data: bytes.subarray(end)};
}

// Bytes 80..9F of Windows-1252 (node's own decoder takes the label for Latin-1); the
// five the code page leaves out stand for the control characters of the same number.
const kCp1252 = [0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021, 0x2C6, 0x2030, 0x160, 0x2039, 0x152,
    0x8D, 0x17D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x2DC, 0x2122, 0x161, 0x203A,
    0x153, 0x9D, 0x17E, 0x178];

// The text the reader's view holds for a document's runs (the .txt): bytes read as UTF-8
// when the document's text is valid UTF-8 with a multi-byte sequence, else Windows-1252;
// line breaks as the view takes them (CR CR LF a blank; CR LF, CR, LF a paragraph end).
function viewText(txt, documentBytes) {
    let text = documentBytes.subarray(0, (documentBytes.indexOf(0) + 1 || documentBytes.length + 1) - 1);
    let utf8 = false;
    try {
        utf8 = /[^\x00-\x7f]/.test(new TextDecoder('utf-8', {fatal: true}).decode(text));
    } catch (e) {
        utf8 = false;
    }
    text = new TextDecoder(utf8 ? 'utf-8' : 'latin1').decode(txt);
    if (!utf8) text = text.replace(/[\x80-\x9f]/g, (c) => String.fromCharCode(kCp1252[c.charCodeAt(0) - 0x80]));
    return text.replace(/\r\r\n/g, ' ').replace(/\r\n|\r/g, '\n');
}

// A static server for the page and the test files, on this machine only.
function serve() {
    const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm'};
    const server = http.createServer((req, res) => {
        const p = decodeURIComponent(new URL(req.url, 'http://host').pathname);
        const file = p.startsWith('/files/') ? path.join(files, p.slice(7)) : path.join(web, p);
        fs.readFile(file, (err, data) => {
            res.writeHead(err ? 404 : 200, {'content-type': types[path.extname(file)] || 'application/octet-stream'});
            res.end(err ? '' : data);
        });
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Opens `file` through the Open button's file input; resolves with what the page opened.
async function open(page, file) {
    await page.evaluate(() => { globalThis.next = yorvel.opened(); });
    await page.setInputFiles('#file', file);
    return page.evaluate(() => globalThis.next);
}

async function statusOf(page) {
    return (await page.textContent('#status')).trim();
}

// The canvas's pixels in the rectangle (x, y, w, h), as R,G,B,A bytes.
async function canvasPixels(page, id, x, y, w, h) {
    const b64 = await page.evaluate(([id, x, y, w, h]) => {
        const data = document.getElementById(id).getContext('2d').getImageData(x, y, w, h).data;
        let s = '';
        for (let i = 0; i < data.length; i += 0x8000) s += String.fromCharCode(...data.subarray(i, i + 0x8000));
        return btoa(s);
    }, [id, x, y, w, h]);
    return Buffer.from(b64, 'base64');
}

// At actual size, the picture's pixels are the tool's PAM, each composited over black as
// the viewer shows pixels a short stream leaves transparent: the same R, G, B, opaque.
async function checkActualSize(page, file, name) {
    const pam = convert(file, 'pam');
    if (!pam) return;
    const {width, height, data} = readPam(pam);
    const area = await page.evaluate(() => [yorvel.image.area().w, yorvel.image.area().h]);
    if (width > area[0] || height > area[1]) return;
    await page.keyboard.press('1');
    const [x, y] = await page.evaluate(() => [yorvel.image.x, yorvel.image.y]);
    const got = await canvasPixels(page, 'picture', x, y, width, height);
    let bad = 0;
    for (let i = 0; i < data.length; i += 4)
        if (got[i] !== data[i] || got[i + 1] !== data[i + 1] || got[i + 2] !== data[i + 2] || got[i + 3] !== 255) ++bad;
    check(bad === 0, `${name}: pixels at actual size equal the PAM`, `${bad} of ${width * height} differ`);
    await page.keyboard.press('0');
}

// The waveform is lit in the accent colour at every point the player computes: for each
// column x the frame x * S / W, its first channel, mid - trunc(s / 32768 * h * 0.45),
// with h the band below the player's 50-pixel top band.
async function checkWave(page, file, name) {
    const bytes = fs.readFileSync(file);
    const channels = bytes.readUInt16LE(8), frames = Math.min(bytes.readUInt32LE(12),
        channels ? Math.floor((bytes.length - 20) / (2 * channels)) : 0);
    const [W, ch] = await page.evaluate(() => [yorvel.sound.size().w, yorvel.sound.size().h]);
    const px = await canvasPixels(page, 'wave', 0, 0, W, ch);
    if (!channels || !frames) {
        check(!px.some((v) => v !== 0), `${name}: no waveform`);
        return;
    }
    const H = ch + 50, h = H - 50, mid = Math.trunc(h / 2) + 50;
    let bad = 0;
    for (let x = 0; x < W; ++x) {
        const f = Math.min(Math.trunc((x / W) * frames), frames - 1);
        const s = bytes.readInt16LE(20 + 2 * f * channels);
        const y = mid - Math.trunc(((s * 2 ** -15) * h) * 0.45) - 50;
        const i = (y * W + x) * 4;
        if (y >= 0 && y < ch && !(px[i] === 77 && px[i + 1] === 201 && px[i + 2] === 240 && px[i + 3] === 255)) ++bad;
    }
    check(bad === 0, `${name}: waveform points`, `${bad} of ${W} columns off`);
}

// An offline render of the page's playback graph gives back the file's samples exactly.
async function checkRender(page, file, name) {
    const bytes = fs.readFileSync(file);
    const channels = bytes.readUInt16LE(8);
    const frames = Math.min(bytes.readUInt32LE(12), Math.floor((bytes.length - 20) / (2 * channels)));
    const samples = bytes.subarray(20, 20 + frames * channels * 2).toString('base64');
    const bad = await page.evaluate(async (b64) => {
        const raw = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
        const want = new Int16Array(raw.buffer);
        const view = yorvel.sound, {channels, frames, rate} = view.sound;
        const context = new OfflineAudioContext(channels, frames, rate);
        view.startSource(context, view.audioBuffer(context), 0);
        const out = await context.startRendering();
        let bad = 0;
        for (let c = 0; c < channels; ++c) {
            const got = out.getChannelData(c);
            for (let i = 0; i < frames; ++i) if (got[i] !== want[i * channels + c] / 32768) ++bad;
        }
        return bad;
    }, samples);
    check(bad === 0, `${name}: offline render equals the samples`, `${bad} differ`);
}

// Playing: the time shows and the cursor (muted) runs on the audio clock; a click plays
// from its column's frame; Space pauses where it is; Escape gives back the idle picture.
async function checkPlayback(page) {
    const idle = await canvasPixels(page, 'wave', 0, 0, 900, 600);
    const position = () => page.evaluate(() => yorvel.sound.position());
    await page.keyboard.press(' ');
    await page.waitForFunction(() => yorvel.sound.position() > 4410);
    check(/^0:0\d\.\d \/ 0:03\.0$/.test(await page.textContent('#time')), 'the time while playing');
    await page.keyboard.press(' ');
    const paused = await position();
    await page.waitForTimeout(200);
    check(paused > 4410 && (await position()) === paused, 'Space pauses');
    // 147 frames a column here: frame f is at column f / 147 (give or take the rounding).
    const x = Math.trunc(paused / 147), near = await canvasPixels(page, 'wave', x - 1, 0, 3, 600);
    const muted = (i) => near[i] === 102 && near[i + 1] === 102 && near[i + 2] === 170;
    check(near.some((v, i) => i % 4 === 0 && muted(i)), 'the cursor at the paused column');
    check(!(await canvasPixels(page, 'wave', 0, 0, x - 1, 600)).some((v, i) => i % 4 === 0 && v === 102),
        'no cursor elsewhere');
    await page.keyboard.press(' ');
    await page.waitForFunction((at) => yorvel.sound.position() > at, paused);
    // Playing near its start, a click a third of the way in jumps to that column's frame
    // (and a busy machine has two seconds before the sound ends).
    await page.mouse.click(300, 300);
    const from = Math.trunc((300 / 900) * 132300), at = await position();
    check(at >= from && at < from + 88200, 'a click plays from its column', `${at} vs ${from}`);
    await page.keyboard.press('Escape');
    check((await page.textContent('#time')) === '', 'Escape stops: no time');
    check(Buffer.compare(idle, await canvasPixels(page, 'wave', 0, 0, 900, 600)) === 0, 'Escape stops: the idle waveform');
    await page.mouse.click(898, 300);  // the last few milliseconds, played to their end
    await page.waitForFunction(() => yorvel.sound.position() < 0);
    check(Buffer.compare(idle, await canvasPixels(page, 'wave', 0, 0, 900, 600)) === 0, 'the end: the idle waveform');
}

async function checkDocument(page, file, name) {
    const txt = convert(file, 'txt');
    const got = await page.evaluate(() => document.getElementById('document').innerText);
    if (txt) check(got === viewText(txt, fs.readFileSync(file)), `${name}: visible text equals the .txt`,
        JSON.stringify(got.slice(0, 80)));
}

// A README picture as this run took it beside docs/: one line when their pixels differ.
async function compareShot(page, shot) {
    const [taken, kept] = [path.join(shots, shot + '.png'), path.join(repo, 'docs', shot + '.png')];
    const differ = !fs.existsSync(kept) ? 'missing' : await page.evaluate(async ([a, b]) => {
        const pixels = async (b64) => {
            const bitmap = await createImageBitmap(new Blob([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))]));
            const canvas = new OffscreenCanvas(bitmap.width, bitmap.height), g = canvas.getContext('2d');
            g.drawImage(bitmap, 0, 0);
            return g.getImageData(0, 0, bitmap.width, bitmap.height);
        };
        const [x, y] = [await pixels(a), await pixels(b)];
        if (x.width !== y.width || x.height !== y.height) return 'its size differs';
        let n = 0;
        for (let i = 0; i < x.data.length; i += 4)
            if (x.data[i] !== y.data[i] || x.data[i + 1] !== y.data[i + 1] || x.data[i + 2] !== y.data[i + 2]) ++n;
        return n ? `${n} pixels differ` : '';
    }, [fs.readFileSync(taken).toString('base64'), fs.readFileSync(kept).toString('base64')]);
    if (differ) console.log(`docs/${shot}.png is not what the page shows here (${differ}): make web-shots copies ${path.relative(repo, taken)}`);
}

async function checkFile(page, file) {
    const name = path.relative(path.join(work, '..'), file);
    const opened = await open(page, file);
    const kind = {yif: 'image', yaf: 'sound', ydf: 'doc', json: 'doc'}[path.extname(file).slice(1)];
    check(opened.kind === kind, `${name}: opened as ${kind}`, opened.kind);
    if (kind === 'doc') return checkDocument(page, file, name);
    const says = info(file), status = await statusOf(page);
    // A picture the browser's canvas cannot hold (2^28 pixels, 32767 a side) is refused
    // for want of memory; the viewer would make its bitmap.
    const bytes = fs.readFileSync(file);
    const [w, h] = bytes.length >= 16 && kind === 'image' ? [bytes.readUInt32LE(4), bytes.readUInt32LE(8)] : [0, 0];
    const tooBig = says.startsWith('YIF') && w * h * 4 <= 0x7FFFFFFF && w && h &&
        (w > 32767 || h > 32767 || w * h > 2 ** 28);
    check(status === (tooBig ? '[ERROR] Not enough memory' : says), `${name}: status line`, `${status} vs ${says}`);
    if (kind === 'image' && !status.startsWith('[ERROR]')) await checkActualSize(page, file, name);
    if (kind === 'sound' && !status.startsWith('[ERROR]')) await checkWave(page, file, name);
}

async function main() {
    fs.rmSync(files, {recursive: true, force: true});
    fs.mkdirSync(files, {recursive: true});
    fs.mkdirSync(shots, {recursive: true});
    for (const f of fs.readdirSync(path.join(repo, 'samples'))) fs.copyFileSync(path.join(repo, 'samples', f), path.join(files, f));
    execFileSync('python3', [path.join(repo, 'tests/hostile/make_hostile.py'), path.join(files, 'hostile')]);
    const sample = (f) => path.join(files, f);

    const server = await serve();
    const base = `http://127.0.0.1:${server.address().port}/`;
    const launch = {
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        // Sound plays without a click first; headless it goes nowhere, on the audio clock.
        args: ['--no-first-run', '--disable-breakpad', '--autoplay-policy=no-user-gesture-required'],
    };
    const browser = await chromium.launchPersistentContext(path.join(work, 'profile'),
        {...launch, viewport: {width: 900, height: 660}});
    try {
        const page = await browser.newPage();
        const errors = [];
        page.on('pageerror', (e) => errors.push(e.message));
        page.on('crash', () => console.log('page crashed'));
        if (process.env.WEB_TEST_DEBUG) page.on('console', (m) => console.log('console:', m.text()));
        const started = Date.now();
        await page.goto(base + 'index.html');
        await page.waitForSelector('html[data-ready]');
        const ready = await page.evaluate(() => performance.getEntriesByName('yorvel-ready')[0].startTime);
        console.log(`page ready ${ready.toFixed(0)} ms after navigation (${Date.now() - started} ms with the browser's start)`);

        // The samples, each with a screenshot for the README.
        const readme = [];
        for (const [f, shot] of [['aurora.yif', 'web-image'], ['brochure.ydf', 'web-document'], ['chord.yaf', 'web-sound']]) {
            await checkFile(page, sample(f));
            await page.screenshot({path: path.join(shots, shot + '.png')});
            readme.push(shot);
        }
        await checkFile(page, sample('tiles.yif'));
        for (const f of ['contract.ydf', 'proposal.ydf']) await checkFile(page, sample(f));

        // Pictures of random trits with a few stray bytes, so that the decoder's sixteen-pixel
        // blocks and its byte-at-a-time fallback and tail all meet; both pixel sizes.
        for (const tpp of [3, 9]) {
            const [w, h] = [97, 61], file = Buffer.alloc(16 + w * h * tpp);
            file.write('YIF1', 0, 'latin1');
            file.writeUInt32LE(w, 4);
            file.writeUInt32LE(h, 8);
            file[12] = tpp;
            for (let i = 16, x = tpp; i < file.length; ++i) {
                x = (Math.imul(x, 1103515245) + 12345) >>> 0;
                file[i] = (x >>> 8) % 499 === 0 ? x >>> 24 : [0xFF, 0, 1][(x >>> 16) % 3];
            }
            const name = path.join(files, `random-${tpp}.yif`);
            fs.writeFileSync(name, file);
            await checkFile(page, name);
        }

        // A UTF-8 document whose kicker of 40 "ü" its 63-byte buffer cuts inside the 32nd:
        // the cut character shows as nothing, as in the reader and the tool's .txt.
        const cut = path.join(files, 'cut-utf8.ydf');
        fs.writeFileSync(cut, JSON.stringify({'@ydf': '1.0', kind: 'brochure', id: 'U-1', title: 'Café 東京 🎉',
            sections: [{kicker: 'ü'.repeat(40), title: 'after the cut'}], sig: 'abcdefghijklmno€xyz'}));
        await checkFile(page, cut);
        const shown = await page.evaluate(() => document.getElementById('document').innerText);
        check(shown.includes(`[${'ü'.repeat(31)}]`), 'UTF-8: the character cut by a buffer shows as nothing');

        // The browser's own find and copy work on a document: what a selection of all of it
        // copies is its text.
        await open(page, sample('brochure.ydf'));
        check(await page.evaluate(() => window.find('Kestrel Ridge')), 'find in a document');
        const copied = await page.evaluate(() => {
            getSelection().selectAllChildren(document.getElementById('document'));
            return getSelection().toString();
        });
        const text = viewText(convert(sample('brochure.ydf'), 'txt'), fs.readFileSync(sample('brochure.ydf')));
        check(copied === text.replace(/\n$/, ''), 'a copy of the whole document is its text (less the last line end)');
        await open(page, sample('chord.yaf'));
        await checkRender(page, sample('chord.yaf'), 'chord.yaf');
        await checkPlayback(page);

        // Zoom keeps the picture point under the cursor; 0 gives back the fit view exactly.
        await open(page, sample('aurora.yif'));
        const fit = await page.screenshot();
        await page.mouse.move(300, 300);
        const before = await page.evaluate(() => [(300 - yorvel.image.fitRect().x), yorvel.image.fitRect().width]);
        await page.mouse.wheel(0, -300);
        const after = await page.evaluate(() => [300 - yorvel.image.x, yorvel.image.width * yorvel.image.scale]);
        check(Math.abs(before[0] / before[1] - after[0] / after[1]) * after[1] < 1, 'wheel zoom keeps the point under the cursor');
        await page.keyboard.press('0');
        check(Buffer.compare(fit, await page.screenshot()) === 0, 'fit view again after zoom');

        // Every hostile file shows what the tool says (or its text), and the page goes on.
        for (const fmt of ['yif', 'yaf', 'ydf']) {
            const folder = path.join(files, 'hostile', fmt);
            for (const f of fs.readdirSync(folder).sort()) await checkFile(page, path.join(folder, f));
        }
        for (const f of ['full-scale.yaf', 'one-frame.yaf', 'silence.yaf']) {
            const file = path.join(files, 'hostile/yaf', f);
            await open(page, file);
            await checkRender(page, file, f);
        }
        await checkFile(page, sample('aurora.yif'));

        // Two files dropped on the page: the first opens, PgDn the next.
        const dropped = await page.evaluateHandle(([a, b]) => {
            const list = new DataTransfer();
            list.items.add(new File([Uint8Array.from(atob(a), (c) => c.charCodeAt(0))], 'tiles.yif'));
            list.items.add(new File([Uint8Array.from(atob(b), (c) => c.charCodeAt(0))], 'chord.yaf'));
            return list;
        }, [fs.readFileSync(sample('tiles.yif')).toString('base64'), fs.readFileSync(sample('chord.yaf')).toString('base64')]);
        await page.evaluate(() => { globalThis.next = yorvel.opened(); });
        await page.dispatchEvent('#view', 'drop', {dataTransfer: dropped});
        check((await page.evaluate(() => globalThis.next)).name === 'tiles.yif', 'a dropped file opens');
        check(await statusOf(page) === info(sample('tiles.yif')), 'the dropped picture\'s status line');
        await page.evaluate(() => { globalThis.next = yorvel.opened(); });
        await page.keyboard.press('PageDown');
        check((await page.evaluate(() => globalThis.next)).name === 'chord.yaf', 'PgDn opens the next dropped file');

        // #URL opens a file of the same site; another site's is not fetched.
        await page.goto(base + 'index.html#/files/chord.yaf');
        await page.evaluate(() => yorvel.opened());
        check(await statusOf(page) === info(sample('chord.yaf')), '#URL opens a file of the site');
        await page.goto(base + 'index.html#http://example.invalid/chord.yaf');
        await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('[ERROR]'));
        check(await statusOf(page) === '[ERROR] Cannot open file', '#URL of another site is refused');
        check(errors.length === 0, 'no page errors', errors.join('; '));

        // The single-file page from file://.
        await page.goto('file://' + path.join(web, 'yorvel.html'));
        await page.waitForSelector('html[data-ready]');
        await checkFile(page, sample('aurora.yif'));
        await checkFile(page, sample('brochure.ydf'));

        // A phone's width.
        const handset = await chromium.launchPersistentContext(path.join(work, 'profile-phone'), {
            ...launch, viewport: {width: 390, height: 780}, deviceScaleFactor: 2, isMobile: true, hasTouch: true});
        const phone = handset.pages()[0] || await handset.newPage();
        await phone.goto(base + 'index.html');
        await phone.waitForSelector('html[data-ready]');
        for (const f of ['aurora.yif', 'brochure.ydf', 'chord.yaf']) {
            await open(phone, sample(f));
            await phone.screenshot({path: path.join(shots, 'phone-' + f + '.png')});
        }
        await handset.close();

        // A document whose list the core cannot hold in a small memory: the trap is
        // reported as the programs report it, and a new worker opens the next file.
        const small = await browser.newPage();
        await small.addInitScript(() => (globalThis.yorvelMaxMemoryMiB = 24));
        await small.goto(base + 'index.html');
        await small.waitForSelector('html[data-ready]');
        const n = 2000000;
        fs.writeFileSync(path.join(files, 'long-list.ydf'), '"kicker":"k","list":[' + '"",'.repeat(n) + ']');
        await open(small, path.join(files, 'long-list.ydf'));
        check((await small.textContent('#document')) === '[ERROR] Not enough memory', 'out of memory in the worker');
        await checkFile(small, sample('proposal.ydf'));
        await small.close();
        for (const shot of readme) await compareShot(page, shot);
    } catch (e) {
        check(false, 'the run', e.stack);
    } finally {
        await browser.close().catch(() => {});
        server.close();
    }
    console.log(`${passed} passed, ${failed} failed`);
    process.exit(failed ? 1 : 0);
}

await main();
