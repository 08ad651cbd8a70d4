// The document view: the runs the reader shows, as styled text the browser can search,
// select and copy. A paragraph is a line of its own; the lines it wraps into hang under
// its text, as in the reader: indented by the width of its leading blanks (at most
// eight) and of a "- " item mark after them, in its first run's font.
const kMaxHanging = 8;
const kLightGrey = 0xE0E0E0;

function css(color) {
    // 0x00BBGGRR
    const r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return `rgb(${r},${g},${b})`;
}

// Runs as the worker packs them: four 32-bit values (bytes, colour, points, bold), then
// the text as UTF-8.
export function unpackRuns(buffer) {
    const view = new DataView(buffer), bytes = new Uint8Array(buffer);
    const decoder = new TextDecoder();
    const runs = [];
    for (let at = 0; at + 16 <= buffer.byteLength;) {
        const length = view.getUint32(at, true);
        runs.push({
            color: view.getUint32(at + 4, true),
            points: view.getInt32(at + 8, true),
            bold: view.getUint32(at + 12, true) !== 0,
            text: decoder.decode(bytes.subarray(at + 16, at + 16 + length)),
        });
        at += 16 + length;
    }
    return runs;
}

// How many characters the paragraph's first line hangs by: its leading blanks, and a
// "- " after them.
function hangingChars(text) {
    let n = 0;
    while (n < text.length && n < kMaxHanging && text[n] === ' ') ++n;
    if (text.startsWith('- ', n)) n = Math.min(kMaxHanging, n + 2);
    return n;
}

export class DocumentView {
    constructor(element) {
        this.element = element;
    }

    // Replaces the view's content with `runs`. Line breaks are those the reader's view
    // takes: CR LF, a lone CR and a lone LF each end a paragraph; CR CR LF is one blank.
    show(runs) {
        const root = document.createDocumentFragment();
        let paragraph = null;
        const open = (run) => {
            paragraph = document.createElement('span');
            const n = hangingChars(run.text);
            paragraph.style.fontSize = run.points + 'pt';
            if (n) {
                paragraph.style.paddingLeft = n + 'ch';
                paragraph.style.textIndent = -n + 'ch';
            }
            root.append(paragraph);
        };
        for (const run of runs) {
            const pieces = run.text.replace(/\r\r\n/g, ' ').split(/\r\n|\r|\n/);
            pieces.forEach((text, i) => {
                if (i > 0) {
                    // The paragraph ends: its line height is at least that of the font
                    // its break was written in, as a paragraph mark's is.
                    if (!paragraph) open(run);
                    paragraph.style.fontSize = run.points + 'pt';
                    paragraph.append('\n');
                    paragraph = null;
                }
                if (!text) return;
                if (!paragraph) open({...run, text});
                const span = document.createElement('span');
                span.style.color = css(run.color);
                span.style.fontSize = run.points + 'pt';
                if (run.bold) span.style.fontWeight = 'bold';
                span.textContent = text;
                paragraph.append(span);
            });
        }
        this.element.replaceChildren(root);
        this.element.scrollTop = 0;
    }

    // A failure as the reader shows it: the text alone, light grey, 11 points.
    showError(text) {
        this.show([{text, color: kLightGrey, points: 11, bold: false}]);
    }
}
