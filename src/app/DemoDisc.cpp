#include "app/DemoDisc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

namespace quarrow {

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

// How one piece is played: key, tempo, chord progression (scale degrees of a major
// key, 0-based) and the arpeggio's walk over the chord tones.
struct Piece {
    int rootMidi;
    double bpm;
    int beatsPerChord;
    std::vector<int> progression;
    std::vector<int> arpeggio;   // indexes into the chord's tones, 0..5 (3..5 an octave up)
    double brightness;           // weight of the upper partials
    double spread;               // stereo width of the pad
};

const std::vector<Piece>& Pieces() {
    static const std::vector<Piece> pieces = {
        {60, 84.0, 4, {0, 4, 5, 3}, {0, 1, 2, 3, 2, 1, 0, 2}, 0.30, 0.8},
        {57, 72.0, 4, {5, 3, 0, 4}, {0, 2, 1, 3, 4, 3, 2, 1}, 0.22, 0.6},
        {65, 96.0, 4, {0, 2, 3, 4}, {0, 1, 2, 1, 3, 2, 4, 2}, 0.35, 0.9},
        {62, 66.0, 4, {0, 5, 1, 4}, {2, 1, 0, 1, 2, 3, 4, 3}, 0.18, 0.5},
        {55, 90.0, 4, {3, 4, 2, 5, 1, 4, 0, 0}, {0, 2, 4, 2, 1, 3, 5, 3}, 0.28, 0.7},
    };
    return pieces;
}

double MidiFrequency(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

// Semitones of the chord tones on a scale degree, tones 3..5 repeat 0..2 an octave up.
int ChordTone(int degree, int tone) {
    static const int scale[7] = {0, 2, 4, 5, 7, 9, 11};
    const int step = degree + 2 * (tone % 3);
    return scale[step % 7] + 12 * (step / 7) + 12 * (tone / 3);
}

struct Mix {
    std::vector<double> left, right;
};

enum class Shape { Pad, Pluck };

// Adds one note: additive partials (1, 2, 3) under an envelope, panned with equal power.
void AddNote(Mix& mix, double startSec, double lengthSec, double freq, double amp, double pan,
             double brightness, Shape shape) {
    const int64_t total = static_cast<int64_t>(mix.left.size());
    const int64_t s0 = static_cast<int64_t>(std::llround(startSec * kRate));
    const double release = shape == Shape::Pad ? 0.9 : 0.0;
    const double tail = shape == Shape::Pad ? lengthSec + release : 1.6;
    const int64_t n = static_cast<int64_t>(tail * kRate);
    if (s0 >= total) return;
    const double angle = (pan + 1.0) * kPi / 4.0;
    const double gl = std::cos(angle) * amp, gr = std::sin(angle) * amp;
    const double weights[3] = {1.0, brightness, brightness * brightness * 0.6};

    // Each partial runs on the sine recurrence s[k] = 2cos(w) s[k-1] - s[k-2].
    double c[3], y1[3], y2[3];
    int partials = 0;
    for (int h = 0; h < 3; ++h) {
        const double f = freq * (h + 1);
        if (f > 15000.0) break;
        const double w = 2.0 * kPi * f / kRate;
        c[h] = 2.0 * std::cos(w);
        y1[h] = std::sin(-w);
        y2[h] = std::sin(-2.0 * w);
        ++partials;
    }
    const double attack = shape == Shape::Pad ? 0.35 : 0.006;
    // The pluck decays by a constant factor per sample; the pad swells on a slow sine,
    // itself a recurrence.
    const double decay = std::exp(-1.0 / (0.35 * kRate));
    double pluck = 1.0;
    const double sw = 2.0 * kPi * 0.4 / kRate;
    const double swellC = 2.0 * std::cos(sw);
    double swell1 = std::cos(-sw), swell2 = std::cos(-2.0 * sw);
    for (int64_t k = 0; k < n && s0 + k < total; ++k) {
        const double t = static_cast<double>(k) / kRate;
        double env;
        if (shape == Shape::Pad) {
            env = t < attack ? t / attack : 1.0;
            if (t > lengthSec) env *= std::max(0.0, 1.0 - (t - lengthSec) / release);
            env = env * env * (3.0 - 2.0 * env);  // smooth the corners
            const double swell = swellC * swell1 - swell2;
            swell2 = swell1;
            swell1 = swell;
            env *= 0.85 + 0.15 * swell;
        } else {
            if (t < attack) {
                env = t / attack;
            } else {
                env = pluck;
                pluck *= decay;
            }
            if (t > tail - 0.1) env *= std::max(0.0, (tail - t) / 0.1);
        }
        double v = 0.0;
        for (int h = 0; h < partials; ++h) {
            const double y = c[h] * y1[h] - y2[h];
            y2[h] = y1[h];
            y1[h] = y;
            v += weights[h] * y;
        }
        if (s0 + k < 0) continue;
        mix.left[s0 + k] += v * env * gl;
        mix.right[s0 + k] += v * env * gr;
    }
}

}  // namespace

const std::vector<DemoTrack>& DemoTracks() {
    static const std::vector<DemoTrack> tracks = {
        {"Morning Chords", 1967, "QZDA52600001"},
        {"Quiet Harbour", 2216, ""},
        {"Paper Lanterns", 1862, "QZDA52600003"},
        {"Slow River", 2333, ""},
        {"Evening Bells", 2155, ""},
    };
    return tracks;
}

std::vector<int16_t> RenderDemoTrack(int track) {
    const DemoTrack& info = DemoTracks().at(static_cast<size_t>(track));
    const Piece& p = Pieces().at(static_cast<size_t>(track));
    const size_t frames = static_cast<size_t>(info.sectors) * 588;
    Mix mix{std::vector<double>(frames, 0.0), std::vector<double>(frames, 0.0)};
    const double seconds = static_cast<double>(frames) / kRate;
    const double beat = 60.0 / p.bpm;
    const double chordLen = beat * p.beatsPerChord;
    const int chords = static_cast<int>(std::ceil(seconds / chordLen));

    for (int ch = 0; ch < chords; ++ch) {
        const double t0 = ch * chordLen;
        const int degree = p.progression[static_cast<size_t>(ch) % p.progression.size()];
        // Bass on the chord's root, an octave and a half below the pad.
        AddNote(mix, t0, chordLen, MidiFrequency(p.rootMidi - 12 + ChordTone(degree, 0) - 12 * (ChordTone(degree, 0) >= 7)),
                0.10, 0.0, 0.25, Shape::Pad);
        const double pans[3] = {-0.45 * p.spread, 0.05, 0.45 * p.spread};
        for (int v = 0; v < 3; ++v)
            AddNote(mix, t0, chordLen, MidiFrequency(p.rootMidi + ChordTone(degree, v)), 0.062, pans[v],
                    p.brightness, Shape::Pad);
        // Arpeggio in eighth notes; the last chord of the piece lets the pad ring alone.
        if (ch == chords - 1 && chords > 2) continue;
        for (int k = 0; k < 2 * p.beatsPerChord; ++k) {
            const int tone = p.arpeggio[static_cast<size_t>(k) % p.arpeggio.size()];
            AddNote(mix, t0 + k * beat / 2.0, 0.0, MidiFrequency(p.rootMidi + 12 + ChordTone(degree, tone)),
                    0.080, (k % 2 ? 0.35 : -0.35) * p.spread, p.brightness + 0.15, Shape::Pluck);
        }
    }

    // Fade in over 20 ms and out over the last two seconds; then to 16 bits.
    std::vector<int16_t> out(frames * 2);
    const double fadeIn = 0.02 * kRate, fadeOut = 2.0 * kRate;
    for (size_t i = 0; i < frames; ++i) {
        double g = 1.6;
        if (static_cast<double>(i) < fadeIn) g *= static_cast<double>(i) / fadeIn;
        const double fromEnd = static_cast<double>(frames - i);
        if (fromEnd < fadeOut) g *= (fromEnd / fadeOut) * (fromEnd / fadeOut);
        const double l = std::clamp(mix.left[i] * g, -1.0, 1.0);
        const double r = std::clamp(mix.right[i] * g, -1.0, 1.0);
        out[2 * i] = static_cast<int16_t>(std::lround(l * 32767.0));
        out[2 * i + 1] = static_cast<int16_t>(std::lround(r * 32767.0));
    }
    return out;
}

std::string DemoCueSheet() {
    std::string cue;
    cue += "REM GENRE \"Ambient\"\n";
    cue += "REM DATE 2026\n";
    cue += std::string("PERFORMER \"") + kDemoArtist + "\"\n";
    cue += std::string("TITLE \"") + kDemoAlbum + "\"\n";
    cue += std::string("FILE \"") + kDemoBinName + "\" BINARY\n";
    int32_t start = 0;
    char line[64];
    for (size_t t = 0; t < DemoTracks().size(); ++t) {
        const DemoTrack& tr = DemoTracks()[t];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n", static_cast<int>(t + 1));
        cue += line;
        cue += std::string("    TITLE \"") + tr.title + "\"\n";
        cue += std::string("    PERFORMER \"") + kDemoArtist + "\"\n";
        if (*tr.isrc) cue += std::string("    ISRC ") + tr.isrc + "\n";
        std::snprintf(line, sizeof line, "    INDEX 01 %02d:%02d:%02d\n", start / 4500, (start / 75) % 60,
                      start % 75);
        cue += line;
        start += tr.sectors;
    }
    return cue;
}

namespace {

bool WriteWhole(const std::string& path, const std::function<bool(FILE*)>& body, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "Cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    bool ok = body(f);
    int err = ok ? 0 : errno;
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok && error) *error = "Cannot write \"" + path + "\": " + std::strerror(err ? err : EIO);
    return ok;
}

}  // namespace

bool WriteDemoDisc(const std::string& dir, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string folder = dir.empty() ? std::string(".") : dir;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        if (error) *error = "Cannot create the folder \"" + folder + "\"";
        return false;
    }
    const std::string bin = folder + "/" + kDemoBinName;
    const std::string cue = folder + "/" + kDemoCueName;
    const std::string suffix = ".part-" + std::to_string(::getpid());
    const std::string binTmp = bin + suffix, cueTmp = cue + suffix;

    // A name already taken by a folder cannot be replaced; say so before rendering.
    for (const std::string& target : {bin, cue}) {
        if (fs::is_directory(target, ec)) {
            if (error) *error = "Cannot write \"" + target + "\": a folder of that name exists";
            return false;
        }
    }
    // The small cue sheet first: an unwritable folder shows up before the audio is made.
    const std::string sheet = DemoCueSheet();
    bool ok = WriteWhole(cueTmp, [&](FILE* f) {
        return std::fwrite(sheet.data(), 1, sheet.size(), f) == sheet.size();
    }, error);
    ok = ok && WriteWhole(binTmp, [](FILE* f) {
        std::vector<uint8_t> bytes;
        for (size_t t = 0; t < DemoTracks().size(); ++t) {
            const std::vector<int16_t> s = RenderDemoTrack(static_cast<int>(t));
            bytes.resize(s.size() * 2);
            for (size_t i = 0; i < s.size(); ++i) {
                const uint16_t v = static_cast<uint16_t>(s[i]);
                bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
                bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
            }
            if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return false;
        }
        return true;
    }, error);
    if (ok) {
        fs::rename(binTmp, bin, ec);
        if (ec) {
            if (error) *error = "Cannot write \"" + bin + "\": " + ec.message();
            ok = false;
        }
    }
    if (ok) {
        fs::rename(cueTmp, cue, ec);
        if (ec) {
            if (error) *error = "Cannot write \"" + cue + "\": " + ec.message();
            ok = false;
            fs::remove(bin, ec);  // no image without its cue sheet
        }
    }
    if (!ok) {
        fs::remove(binTmp, ec);
        fs::remove(cueTmp, ec);
    }
    return ok;
}

}  // namespace quarrow
