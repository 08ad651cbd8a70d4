// The sound view: the player's waveform (the same points: one frame a pixel column, the
// first channel, centred in the band as the player centres it), playback through Web
// Audio from the file's own samples at the file's rate, and a cursor and the time in
// step with the audio clock. Click plays from the clicked column's frame; Space pauses
// and resumes; Left / Right seek 5 seconds, Home to the start; Escape stops.
import {cleared} from './canvas.js';
import {playTime, seekFrame, waveColumn, waveFrame, waveMid, waveY} from './core.js';

const kTopBand = 50;  // the player's waveform band starts this far down its window
const kAccent = 'rgb(77,201,240)', kMuted = 'rgb(102,102,170)';
const kSeekSeconds = 5;
export const kDeviceError = '[ERROR] Cannot open the sound device';

export class SoundView {
    constructor(canvas, timeLabel, onStatus) {
        this.canvas = canvas;
        this.timeLabel = timeLabel;
        this.onStatus = onStatus;  // (text) -> void: the status line changes
        this.sound = null;         // {rate, channels, frames, samples: Int16Array, playable, status}
        this.context = null;       // the AudioContext, made at the first Play
        this.buffer = null;        // the sound as an AudioBuffer, made at the first Play
        this.source = null;        // the playing source, null when idle or paused
        this.startedAt = 0;        // context time at which frame `from` played
        this.from = 0;             // frame the source started at
        this.pausedAt = -1;        // frame at which playback is paused, -1 when not paused
        this.frame = null;         // animation request while playing
        canvas.addEventListener('pointerdown', (e) => this.onClick(e));
    }

    show(sound) {
        this.stop();
        this.sound = sound;
        this.buffer = null;
        this.draw();
    }

    hasWave() {
        const s = this.sound;
        return s && s.frames > 0 && s.channels > 0 && s.samples.length > 0;
    }

    size() {
        return {w: this.canvas.clientWidth, h: this.canvas.clientHeight};
    }

    draw() {
        const {g, w, h} = cleared(this.canvas);
        if (!this.hasWave() || w <= 0) return;
        // The player's points in a client area of the canvas plus the band above it. Each
        // segment between neighbouring columns is two vertical strokes meeting halfway,
        // so every point is lit in the accent colour, with no blending.
        const {frames, channels, samples} = this.sound;
        const H = h + kTopBand;
        g.fillStyle = kAccent;
        let px = 0, py = waveMid(H) - kTopBand;
        for (let x = 0; x < w; ++x) {
            const y = waveY(samples[waveFrame(x, w, frames) * channels], H) - kTopBand;
            const half = Math.trunc((py + y) / 2);
            g.fillRect(px, Math.min(py, half), 1, Math.abs(half - py) + 1);
            g.fillRect(x, Math.min(half, y), 1, Math.abs(y - half) + 1);
            px = x;
            py = y;
        }
        const at = this.position();
        if (at >= 0) {
            g.fillStyle = kMuted;
            g.fillRect(waveColumn(at, w, frames), 0, 1, h);
        }
        this.timeLabel.textContent = at >= 0 ? playTime(at, frames, this.sound.rate) : '';
    }

    // The frame playing now (or paused at), from the audio clock; -1 when idle.
    position() {
        if (this.pausedAt >= 0) return this.pausedAt;
        if (!this.source) return -1;
        const f = this.from + Math.floor((this.context.currentTime - this.startedAt) * this.sound.rate);
        return Math.min(Math.max(f, this.from), this.sound.frames - 1);
    }

    // The sound as Web Audio takes it: one float channel each, sample / 32768.
    audioBuffer(context) {
        const {rate, channels, frames, samples} = this.sound;
        const buffer = new AudioBuffer({numberOfChannels: channels, length: frames, sampleRate: rate});
        const plane = new Float32Array(frames);
        for (let c = 0; c < channels; ++c) {
            for (let i = 0, j = c; i < frames; ++i, j += channels) plane[i] = samples[j] / 32768;
            buffer.copyToChannel(plane, c);
        }
        return buffer;
    }

    // Starts a source on `context` from `frame` at the context's present time; the
    // source, so that a test can render it offline.
    startSource(context, buffer, frame) {
        const source = new AudioBufferSourceNode(context, {buffer});
        source.connect(context.destination);
        source.start(0, frame / this.sound.rate);
        return source;
    }

    // Plays from `frame`, whatever played before. Only sounds the player would hand its
    // device (1 to 18 channels, samples present) play at all.
    play(frame = 0) {
        const s = this.sound;
        if (!this.hasWave() || !s.playable) return;
        this.halt();
        try {
            this.context ??= new AudioContext();
            this.buffer ??= this.audioBuffer(this.context);
        } catch (e) {
            // A rate or channel count the browser's audio does not take, or no audio at all.
            this.onStatus(kDeviceError);
            return;
        }
        this.context.resume();
        this.onStatus(s.status);
        this.from = frame;
        this.startedAt = this.context.currentTime;
        this.pausedAt = -1;
        const source = this.startSource(this.context, this.buffer, frame);
        source.onended = () => {
            if (this.source !== source) return;
            this.source = null;  // played to its end: the idle view again
            this.draw();
        };
        this.source = source;
        this.tick();
    }

    tick() {
        cancelAnimationFrame(this.frame);
        this.draw();
        if (this.source) this.frame = requestAnimationFrame(() => this.tick());
    }

    // Stops the source, if any, without changing what is shown.
    halt() {
        if (this.source) {
            const source = this.source;
            this.source = null;
            source.onended = null;
            source.stop();
        }
        cancelAnimationFrame(this.frame);
    }

    stop() {
        this.halt();
        this.pausedAt = -1;
        this.draw();
    }

    pauseOrResume() {
        if (this.source) {
            const at = this.position();
            this.halt();
            this.pausedAt = at;
            this.draw();
        } else if (this.pausedAt >= 0) {
            this.play(this.pausedAt);
        } else {
            this.play(0);
        }
    }

    // Moves the playing (or paused) frame to `frame`, clamped to the sound.
    seek(frame) {
        if (!this.hasWave()) return;
        frame = Math.min(Math.max(0, Math.floor(frame)), this.sound.frames - 1);
        if (this.pausedAt >= 0) {
            this.pausedAt = frame;
            this.draw();
        } else if (this.source) {
            this.play(frame);
        }
    }

    onKey(e) {
        const at = this.position();
        switch (e.key) {
            case ' ': this.pauseOrResume(); return true;
            case 'Escape': this.stop(); return true;
            case 'Home': if (at >= 0) this.seek(0); return true;
            case 'ArrowLeft': if (at >= 0) this.seek(seekFrame(at, -kSeekSeconds, this.sound.rate, this.sound.frames)); return true;
            case 'ArrowRight': if (at >= 0) this.seek(seekFrame(at, kSeekSeconds, this.sound.rate, this.sound.frames)); return true;
        }
        return false;
    }

    // A click on the waveform plays from its column's frame; while paused it moves there.
    onClick(e) {
        if (!this.hasWave() || (e.pointerType === 'mouse' && e.button !== 0)) return;
        const {w} = this.size();
        const x = Math.floor(e.clientX - this.canvas.getBoundingClientRect().left);
        if (x < 0 || x >= w) return;
        const frame = waveFrame(x, w, this.sound.frames);
        if (this.pausedAt >= 0) this.seek(frame); else this.play(frame);
    }
}
