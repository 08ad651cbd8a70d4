// The browser page beside the native decoder, in one run: a 4096 x 4096 picture of
// 9-trit pixels decoded by the page's worker (the cores compiled to WebAssembly, in
// Debian's headless chromium) and by the native build (bench_yif's BM_DecodeFile), best
// of several runs each, and the ratio (the goal is 2 or less); the page's whole open of
// it beside the tool's whole conversion to PAM. Also the time from navigation until the
// page takes files (the goal is under 0.5 s), and the page's size, whole and gzipped (the
// goal is under 200 KB).
//
//   node bench/web_decode.mjs REPO    (make bench runs it when the page and its test
//                                      tools are built; otherwise it says why it skips)
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import path from 'node:path';
import zlib from 'node:zlib';

const repo = path.resolve(process.argv[2] || '.');
const web = path.join(repo, 'build/web'), work = path.join(repo, 'build/web-test');
const benchYif = path.join(repo, 'build/native/bench/bench_yif');
const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
const runs = Number(process.env.RUNS || 7);
for (const [need, what] of [[path.join(web, 'yorvel.html'), 'make web'], [benchYif, 'make native'],
    [path.join(work, 'node_modules/playwright-core'), 'make web-test-deps'], [chromiumPath, 'chromium']]) {
    if (!fs.existsSync(need)) {
        console.log(`web_decode: skipped, ${need} is missing (${what})`);
        process.exit(0);
    }
}
const {chromium} = createRequire(path.join(work, 'package.json'))('playwright-core');

// Sizes: the files a server sends for the page, and the single-file page.
const served = ['index.html', 'yorvel.css', 'main.js', 'core.js', 'canvas.js', 'image.js', 'doc.js', 'sound.js', 'worker.js', 'yorvel.wasm'];
const size = (files) => files.reduce((n, f) => n + fs.statSync(path.join(web, f)).size, 0);
const gz = (files) => files.reduce((n, f) => n + zlib.gzipSync(fs.readFileSync(path.join(web, f)), {level: 9}).length, 0);
console.log(`page: ${size(served)} bytes, ${gz(served)} gzipped (yorvel.wasm ${size(['yorvel.wasm'])}, ` +
    `${gz(['yorvel.wasm'])} gzipped); yorvel.html ${size(['yorvel.html'])}, ${gz(['yorvel.html'])} gzipped`);

// The picture: random trits, the same every run.
fs.mkdirSync(path.join(work, 'tmp'), {recursive: true});
const picture = path.join(work, 'tmp', 'bench-4096.yif');
const side = 4096, trits = side * side * 9;
const file = Buffer.alloc(16 + trits);
file.write('YIF1', 0, 'latin1');
file.writeUInt32LE(side, 4);
file.writeUInt32LE(side, 8);
file[12] = 9;
for (let i = 0, x = 7; i < trits; ++i) {
    x = (Math.imul(x, 1103515245) + 12345) >>> 0;
    file[16 + i] = [0xFF, 0, 1][(x >>> 16) % 3];
}
fs.writeFileSync(picture, file);

const native = spawnSync(benchYif, ['--benchmark_filter=BM_DecodeFile', `--benchmark_repetitions=${runs}`,
    '--benchmark_format=json'], {env: {...process.env, YORVEL_BENCH_YIF: picture}, encoding: 'utf8'});
const nativeMs = Math.min(...JSON.parse(native.stdout).benchmarks.filter((b) => b.run_type === 'iteration')
    .map((b) => b.real_time));

// The whole of the tool's conversion to PAM (read, decode, write), for the page's whole open.
const yorvel = path.join(repo, 'build/native/yorvel');
let convertMs = Infinity;
for (let i = 0; i < 3 && fs.existsSync(yorvel); ++i) {
    const started = process.hrtime.bigint();
    spawnSync(yorvel, ['convert', picture, path.join(work, 'tmp', 'bench-4096.pam')]);
    convertMs = Math.min(convertMs, Number(process.hrtime.bigint() - started) / 1e6);
}
fs.rmSync(path.join(work, 'tmp', 'bench-4096.pam'), {force: true});

const server = http.createServer((req, res) => {
    const p = path.join(web, decodeURIComponent(new URL(req.url, 'http://host').pathname));
    fs.readFile(p, (err, data) => {
        res.writeHead(err ? 404 : 200, {'content-type': p.endsWith('.js') ? 'text/javascript' : p.endsWith('.html') ? 'text/html' : ''});
        res.end(err ? '' : data);
    });
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
process.env.HOME = path.join(work, 'home');
process.env.TMPDIR = path.join(work, 'tmp');
const browser = await chromium.launchPersistentContext(path.join(work, 'profile-bench'),
    {executablePath: chromiumPath, headless: true, args: ['--no-first-run', '--disable-breakpad']});
try {
    const page = browser.pages()[0] || await browser.newPage();
    let ready = Infinity;
    for (let i = 0; i < 5; ++i) {
        await page.goto(`http://127.0.0.1:${server.address().port}/index.html`);
        await page.waitForSelector('html[data-ready]');
        ready = Math.min(ready, await page.evaluate(() => performance.getEntriesByName('yorvel-ready')[0].startTime));
    }
    let pageMs = Infinity, openMs = Infinity;
    for (let i = 0; i < runs; ++i) {
        await page.evaluate(() => { globalThis.next = yorvel.opened(); });
        const started = Date.now();
        await page.setInputFiles('#file', picture);
        const opened = await page.evaluate(() => globalThis.next);
        openMs = Math.min(openMs, Date.now() - started);
        pageMs = Math.min(pageMs, opened.decodeMs);
    }
    console.log(`page ready ${ready.toFixed(0)} ms after navigation (best of 5)`);
    console.log(`4096 x 4096 9-trit decode: native ${nativeMs.toFixed(1)} ms, page ${pageMs.toFixed(1)} ms ` +
        `(best of ${runs}); ratio ${(pageMs / nativeMs).toFixed(2)}`);
    console.log(`opening it in the page, file read to picture shown: ${openMs} ms; ` +
        `yorvel convert to PAM: ${convertMs.toFixed(0)} ms`);
} finally {
    await browser.close();
    server.close();
}
