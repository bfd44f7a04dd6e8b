// Synthesises the demo's two music tracks from traditional carols (public domain): melody,
// chords, bass and percussion rendered to 44.1 kHz stereo WAV, then encoded to MP3 with lame.
// Deterministic: the same build writes the same files. Usage: gen_music OUT_DIR WORK_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------------------------
// Scores

struct Note {
    double beat;  // from the start of the song's first full bar (a pickup starts before 0)
    double length;
    int pitch;  // MIDI number, -1 for a rest
};

struct ChordSpan {
    double beat;
    double length;
    std::vector<int> pitch_classes;  // root first
};

struct Song {
    int meter = 4;  // beats per bar
    int bars = 0;
    std::vector<Note> melody;
    std::vector<ChordSpan> chords;
};

int parse_pitch(const std::string& name) {
    static const int base[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.empty() || name[0] < 'A' || name[0] > 'G') throw std::runtime_error("bad note " + name);
    int pc = base[name[0] - 'A'];
    size_t i = 1;
    if (i < name.size() && name[i] == '#') pc += 1, ++i;
    else if (i < name.size() && name[i] == 'b') pc -= 1, ++i;
    int octave = std::stoi(name.substr(i));
    return 12 * (octave + 1) + pc;
}

std::vector<int> parse_chord(const std::string& name) {
    int root = (parse_pitch(name.substr(0, name[1] == '#' || name[1] == 'b' ? 2 : 1) + "4")) % 12;
    std::string quality = name.substr(name.size() > 1 && (name[1] == '#' || name[1] == 'b') ? 2 : 1);
    std::vector<int> steps;
    if (quality.empty()) steps = {0, 4, 7};
    else if (quality == "m") steps = {0, 3, 7};
    else if (quality == "7") steps = {0, 4, 7, 10};
    else if (quality == "m7") steps = {0, 3, 7, 10};
    else if (quality == "maj7") steps = {0, 4, 7, 11};
    else throw std::runtime_error("bad chord " + name);
    std::vector<int> pcs;
    for (int s : steps) pcs.push_back((root + s) % 12);
    return pcs;
}

// Splits "NAME:BEATS" (BEATS defaults to def).
std::pair<std::string, double> token_length(const std::string& token, double def) {
    size_t colon = token.find(':');
    if (colon == std::string::npos) return {token, def};
    return {token.substr(0, colon), std::stod(token.substr(colon + 1))};
}

// Bars are separated by '|'; every bar must fill the meter except a leading pickup bar of
// exactly `pickup` beats. A bar that does not add up stops the generator: it is a typo.
Song make_song(int meter, double pickup, const std::string& melody, const std::string& chords) {
    Song song;
    song.meter = meter;
    std::stringstream bars(melody);
    std::string bar;
    double beat = -pickup;
    int index = 0;
    while (std::getline(bars, bar, '|')) {
        std::stringstream tokens(bar);
        std::string token;
        double start = beat;
        while (tokens >> token) {
            auto [name, length] = token_length(token, 1.0);
            song.melody.push_back({beat, length, name == "R" ? -1 : parse_pitch(name)});
            beat += length;
        }
        double expect = (index == 0 && pickup > 0) ? pickup : meter;
        if (std::fabs(beat - start - expect) > 1e-9)
            throw std::runtime_error("melody bar " + std::to_string(index) + " is " +
                                     std::to_string(beat - start) + " beats: " + bar);
        if (!(index == 0 && pickup > 0)) ++song.bars;
        ++index;
    }
    std::stringstream chord_bars(chords);
    beat = 0;
    index = 0;
    while (std::getline(chord_bars, bar, '|')) {
        std::stringstream tokens(bar);
        std::string token;
        double start = beat;
        while (tokens >> token) {
            auto [name, length] = token_length(token, meter);
            song.chords.push_back({beat, length, parse_chord(name)});
            beat += length;
        }
        if (std::fabs(beat - start - meter) > 1e-9)
            throw std::runtime_error("chord bar " + std::to_string(index) + " does not fill the bar");
        ++index;
    }
    if (index != song.bars) throw std::runtime_error("chords and melody differ in bar count");
    return song;
}

Song chords_only(int meter, const std::string& chords) {
    std::string rests;
    int bars = static_cast<int>(std::count(chords.begin(), chords.end(), '|')) + 1;
    for (int i = 0; i < bars; ++i) rests += (i ? " | R:" : "R:") + std::to_string(meter);
    return make_song(meter, 0, rests, chords);
}

// "Jingle Bells" (J. L. Pierpont, 1857): verse and chorus, in G.
Song jingle_verse() {
    return make_song(4, 0,
        "D4 B4 A4 G4 | D4:3 D4:.5 D4:.5 | D4 B4 A4 G4 | E4:4 |"
        "E4 C5 B4 A4 | F#4:4 | D5 D5 C5 A4 | B4:4 |"
        "D4 B4 A4 G4 | D4:4 | D4 B4 A4 G4 | E4:3 E4 |"
        "E4 C5 B4 A4 | D5 D5 D5 D5 | E5 D5 C5 A4 | G4:2 D5:2",
        "G | G | G | C | Am | D | D7 | G | G | G | G | C | Am | G | D7 | G:2 D7:2");
}

Song jingle_chorus() {
    return make_song(4, 0,
        "B4 B4 B4:2 | B4 B4 B4:2 | B4 D5 G4:1.5 A4:.5 | B4:4 |"
        "C5 C5 C5:1.5 C5:.5 | C5 B4 B4 B4:.5 B4:.5 | B4 A4 A4 B4 | A4:2 D5:2 |"
        "B4 B4 B4:2 | B4 B4 B4:2 | B4 D5 G4:1.5 A4:.5 | B4:4 |"
        "C5 C5 C5:1.5 C5:.5 | C5 B4 B4 B4:.5 B4:.5 | D5 D5 C5 A4 | G4:3 R",
        "G | G | G | G | C | G | A7 | D7 | G | G | G | G | C | G | D7 | G");
}

// "Deck the Halls" (traditional Welsh), in G.
Song deck_the_halls() {
    return make_song(4, 0,
        "D5:1.5 C5:.5 B4 A4 | G4 A4 B4 G4 | A4:.5 B4:.5 C5:.5 A4:.5 B4:1.5 A4:.5 | G4 F#4 G4:2 |"
        "D5:1.5 C5:.5 B4 A4 | G4 A4 B4 G4 | A4:.5 B4:.5 C5:.5 A4:.5 B4:1.5 A4:.5 | G4 F#4 G4:2 |"
        "A4:1.5 B4:.5 C5 A4 | B4:1.5 C5:.5 D5 A4 | B4:.5 C#5:.5 D5 E5:.5 F#5:.5 G5 | F#5 E5 D5:2 |"
        "D5:1.5 C5:.5 B4 A4 | G4 A4 B4 G4 | E5:.5 E5:.5 E5:.5 E5:.5 D5:1.5 C5:.5 | B4 A4 G4:2",
        "G:3 D7:1 | G | D7:2 G:2 | G:1 D7:1 G:2 |"
        "G:3 D7:1 | G | D7:2 G:2 | G:1 D7:1 G:2 |"
        "Am | G:3 D:1 | A7:2 D:2 | D:2 D7:2 |"
        "G:3 D7:1 | G | C:2 D7:2 | G:1 D7:1 G:2");
}

// "We Wish You a Merry Christmas" (traditional English), in G, with its pickup.
Song we_wish_you() {
    return make_song(3, 1,
        "D4 | G4 G4:.5 A4:.5 G4:.5 F#4:.5 | E4 E4 E4 | A4 A4:.5 B4:.5 A4:.5 G4:.5 | F#4 D4 D4 |"
        "B4 B4:.5 C5:.5 B4:.5 A4:.5 | G4 E4 D4:.5 D4:.5 | E4 A4 F#4 | G4:2 D4 |"
        "G4 G4 G4 | F#4:2 F#4 | G4 F#4 E4 | D4:2 A4 |"
        "B4 A4:.5 A4:.5 G4:.5 G4:.5 | D5 D4 D4:.5 D4:.5 | E4 A4 F#4 | G4:2 R",
        "G | C | A7 | D | B7 | Em | C:1 D7:2 | G | G | D | Em | D | G | D | C:1 D7:2 | G");
}

// "O Tannenbaum" (traditional German), in G, with its pickup.
Song o_tannenbaum() {
    return make_song(3, 1,
        "D4 | G4:.75 G4:.25 G4:1.5 A4:.5 | B4:.75 B4:.25 B4:1.5 B4:.5 | A4:.5 B4:.5 C5 F#4 |"
        "A4 G4 D5 | D5:.5 B4:.5 E5:1.5 D5:.5 | D5:.5 C5:.5 C5:1.5 C5:.5 | C5:.5 A4:.5 D5:1.5 C5:.5 |"
        "C5:.5 B4:.5 B4 D4 | G4:.75 G4:.25 G4:1.5 A4:.5 | B4:.75 B4:.25 B4:1.5 B4:.5 |"
        "A4:.5 B4:.5 C5 F#4 | A4 G4 R",
        "G | G | D7 | D7:1 G:2 | Em | Am | D7 | G | G | G | D7 | D7:1 G:2");
}

// ---------------------------------------------------------------------------------------------
// Sound

struct Rng {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double uniform() { return next() / 4294967296.0; }         // [0, 1)
    double signed_unit() { return uniform() * 2.0 - 1.0; }     // [-1, 1)
};

double midi_hz(double pitch) { return 440.0 * std::pow(2.0, (pitch - 69.0) / 12.0); }

// Attack, exponential decay towards a sustain level, and a release from `hold` seconds on.
// Both edges are raised cosines, so no note starts or stops with a click.
struct Envelope {
    double attack, decay, sustain, release;
    double at(double t, double hold) const {
        if (t < 0) return 0;
        double v = sustain + (1.0 - sustain) * std::exp(-std::max(0.0, t - attack) / decay);
        if (t < attack) v *= 0.5 - 0.5 * std::cos(kPi * t / attack);
        if (t > hold) {
            double r = (t - hold) / release;
            v *= r >= 1 ? 0.0 : 0.5 + 0.5 * std::cos(kPi * r);
        }
        return v;
    }
    double end(double hold) const { return hold + release; }
};

// A stereo mix with a reverb send.
struct Mix {
    std::vector<float> left, right, send;
    void fit(size_t n) {
        if (left.size() < n) left.resize(n), right.resize(n), send.resize(n);
    }
    // Adds a mono sound at `start` seconds, equal-power panned (-1 left .. 1 right).
    void add(double start, const std::vector<float>& sound, double gain, double pan, double reverb) {
        size_t at = static_cast<size_t>(std::lround(std::max(start, 0.0) * kRate));
        fit(at + sound.size());
        double angle = (pan + 1.0) * kPi / 4.0;
        float gl = static_cast<float>(gain * std::cos(angle)), gr = static_cast<float>(gain * std::sin(angle));
        float gs = static_cast<float>(gain * reverb);
        for (size_t i = 0; i < sound.size(); ++i) {
            left[at + i] += gl * sound[i];
            right[at + i] += gr * sound[i];
            send[at + i] += gs * sound[i];
        }
    }
};

template <typename F>
std::vector<float> render(double seconds, F sample) {
    std::vector<float> out(static_cast<size_t>(seconds * kRate) + 1);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(sample(static_cast<double>(i) / kRate));
    return out;
}

// Music box / celesta: FM with an inharmonic modulator whose brightness dies away quickly.
std::vector<float> bell(double hz, double hold) {
    Envelope env{0.003, 0.55 * std::pow(440.0 / hz, 0.3), 0.0, 0.25};
    hold = std::max(hold, 0.35);
    return render(env.end(hold), [&](double t) {
        double index = 1.6 * std::exp(-t / 0.12);
        double body = std::sin(2 * kPi * hz * t + index * std::sin(2 * kPi * 3.5 * hz * t));
        return env.at(t, hold) * (body + 0.15 * std::sin(2 * kPi * 2 * hz * t) * std::exp(-t / 0.3));
    });
}

// Electric piano: FM at a 1:1 ratio, a soft bark that mellows as it rings.
std::vector<float> epiano(double hz, double hold) {
    Envelope env{0.004, 0.8, 0.2, 0.18};
    return render(env.end(hold), [&](double t) {
        double index = 0.4 + 1.0 * std::exp(-t / 0.35);
        return env.at(t, hold) * std::sin(2 * kPi * hz * t + index * std::sin(2 * kPi * hz * t));
    });
}

// A soft flute: a few harmonics with a slow breath-in and a vibrato that grows in.
std::vector<float> flute(double hz, double hold) {
    Envelope env{0.05, 0.4, 0.8, 0.12};
    double phase = 0;
    return render(env.end(hold), [&](double t) {
        double depth = 0.004 * std::min(1.0, std::max(0.0, (t - 0.2) / 0.3));
        phase += 2 * kPi * hz * (1.0 + depth * std::sin(2 * kPi * 5.2 * t)) / kRate;
        return env.at(t, hold) * (std::sin(phase) + 0.18 * std::sin(2 * phase) + 0.06 * std::sin(3 * phase));
    });
}

// A warm pad voice: a rolled-off sawtooth of twelve harmonics, read from a one-cycle table
// (band-limited for the pad's range, below 750 Hz).
std::vector<float> pad(double hz, double hold) {
    static const std::vector<double> table = [] {
        std::vector<double> t(4096);
        for (size_t i = 0; i < t.size(); ++i)
            for (int n = 1; n <= 12; ++n)
                t[i] += std::sin(2 * kPi * n * i / t.size()) / (n * (1.0 + (n / 5.0) * (n / 5.0)));
        return t;
    }();
    Envelope env{0.35, 1.2, 0.7, 0.6};
    return render(env.end(hold), [&](double t) {
        double pos = std::fmod(hz * t, 1.0) * table.size();
        size_t i = static_cast<size_t>(pos);
        double frac = pos - i, next = table[(i + 1) % table.size()];
        return env.at(t, hold) * (table[i] + frac * (next - table[i]));
    });
}

std::vector<float> bass(double hz, double hold) {
    Envelope env{0.006, 0.35, 0.45, 0.06};
    return render(env.end(hold), [&](double t) {
        double p = 2 * kPi * hz * t;
        return env.at(t, hold) * (std::sin(p) + 0.25 * std::sin(2 * p) + 0.08 * std::sin(3 * p));
    });
}

std::vector<float> kick() {
    double phase = 0;
    Envelope env{0.002, 0.16, 0.0, 0.05};
    return render(0.4, [&](double t) {
        phase += 2 * kPi * (45.0 + 70.0 * std::exp(-t / 0.035)) / kRate;
        return env.at(t, 0.35) * std::sin(phase);
    });
}

std::vector<float> snare(Rng& rng) {
    Envelope env{0.001, 0.09, 0.0, 0.05};
    double low = 0, band = 0;  // state-variable filter around 1.9 kHz
    double f = 2 * std::sin(kPi * 1900.0 / kRate);
    return render(0.3, [&](double t) {
        double noise = rng.signed_unit();
        double high = noise - low - 0.9 * band;
        band += f * high;
        low += f * band;
        return env.at(t, 0.25) * (0.9 * band + 0.45 * std::sin(2 * kPi * 185.0 * t) * std::exp(-t / 0.05));
    });
}

std::vector<float> hat(Rng& rng, double decay) {
    Envelope env{0.001, decay, 0.0, 0.02};
    double low = 0;
    return render(decay * 5, [&](double t) {
        double noise = rng.signed_unit();
        low += 0.6 * (noise - low);  // what is left after removing the low part is bright hiss
        return env.at(t, decay * 4) * (noise - low);
    });
}

// Sleigh bells: a few small, inharmonic bells struck twice in quick succession.
std::vector<float> sleigh(Rng& rng) {
    double hz[5];
    for (double& h : hz) h = 3200.0 + 5500.0 * rng.uniform();
    Envelope env{0.001, 0.05, 0.0, 0.03};
    double low = 0;
    return render(0.25, [&](double t) {
        double v = 0;
        for (double h : hz) v += std::sin(2 * kPi * h * t);
        double noise = rng.signed_unit();
        low += 0.5 * (noise - low);
        double shake = env.at(t, 0.2) + 0.6 * env.at(t - 0.014, 0.2);
        return shake * (0.12 * v + 0.5 * (noise - low));
    });
}

// Freeverb-style room: eight damped combs and four allpasses per side.
void add_reverb(Mix& mix, double wet) {
    static const int combs[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int allpasses[] = {556, 441, 341, 225};
    for (int side = 0; side < 2; ++side) {
        int spread = side ? 23 : 0;
        std::vector<std::vector<float>> cb, ab;
        std::vector<size_t> ci(8, 0), ai(4, 0);
        std::vector<float> store(8, 0.0f);
        for (int c : combs) cb.emplace_back(c + spread, 0.0f);
        for (int a : allpasses) ab.emplace_back(a + spread, 0.0f);
        std::vector<float>& out = side ? mix.right : mix.left;
        for (size_t i = 0; i < mix.send.size(); ++i) {
            float in = mix.send[i] * 0.015f, acc = 0;
            for (int k = 0; k < 8; ++k) {
                float y = cb[k][ci[k]];
                store[k] = y * 0.75f + store[k] * 0.25f;
                cb[k][ci[k]] = in + store[k] * 0.84f;
                if (++ci[k] == cb[k].size()) ci[k] = 0;
                acc += y;
            }
            for (int k = 0; k < 4; ++k) {
                float b = ab[k][ai[k]];
                ab[k][ai[k]] = acc + b * 0.5f;
                if (++ai[k] == ab[k].size()) ai[k] = 0;
                acc = b - acc;
            }
            out[i] += static_cast<float>(wet) * acc;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Arrangement

enum class Lead { None, Bells, EPiano, Flute };
enum class Drums { None, Light, Full, Waltz };
enum class Bass { None, Long, Bounce, Waltz };

struct Section {
    Song song;
    int transpose = 0;
    Lead lead = Lead::None;
    bool bells_above = false;  // bells double the melody an octave up
    Drums drums = Drums::None;
    Bass bass_style = Bass::None;
    bool arpeggio = false;     // bells arpeggiate the chords
    bool stabs = false;        // electric piano chords on the off-beats
    double level = 1.0;
};

// Chord tones placed between E3 and E4, root first in pitch order.
std::vector<int> voicing(const std::vector<int>& pcs, int low) {
    std::vector<int> notes;
    for (int pc : pcs) {
        int n = low + ((pc - low) % 12 + 12) % 12;
        notes.push_back(n);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

struct Arranger {
    Mix mix;
    Rng rng{0x5eed1234u};
    double beat_seconds;
    double at_beat = 0;  // start of the next section

    explicit Arranger(double bpm) : beat_seconds(60.0 / bpm) {}

    double time(double beat) const { return beat * beat_seconds; }
    double human(double amount) { return amount * rng.signed_unit(); }

    void play(const Section& s) {
        const Song& song = s.song;
        double base = at_beat;
        double lv = s.level;
        for (const Note& n : song.melody) {
            if (n.pitch < 0) continue;
            double start = time(base + n.beat) + human(0.004);
            double hold = time(n.length) * 0.92;
            double hz = midi_hz(n.pitch + s.transpose);
            double vel = lv * (0.9 + human(0.08));
            switch (s.lead) {
                case Lead::Bells: mix.add(start, bell(hz, hold), 0.34 * vel, -0.1, 0.35); break;
                case Lead::EPiano: mix.add(start, epiano(hz, hold), 0.36 * vel, 0.1, 0.3); break;
                case Lead::Flute: mix.add(start, flute(hz, hold), 0.30 * vel, 0.05, 0.35); break;
                case Lead::None: break;
            }
            if (s.bells_above) mix.add(start + 0.006, bell(hz * 2, hold), 0.10 * vel, 0.35, 0.4);
        }
        for (const ChordSpan& c : song.chords) {
            std::vector<int> pcs = c.pitch_classes;
            for (int& pc : pcs) pc = (pc + s.transpose + 12) % 12;
            double start = time(base + c.beat), hold = time(c.length);
            std::vector<int> notes = voicing(pcs, 52);
            for (size_t k = 0; k < notes.size(); ++k) {
                double hz = midi_hz(notes[k]);
                double pan = -0.5 + static_cast<double>(k) / std::max<size_t>(1, notes.size() - 1);
                mix.add(start, pad(hz * 1.0025, hold), 0.045 * lv, pan, 0.5);
                mix.add(start, pad(hz / 1.0025, hold), 0.045 * lv, -pan, 0.5);
            }
            play_bass(s, pcs[0], base + c.beat, c.length, song.meter);
            if (s.arpeggio) play_arpeggio(s, voicing(pcs, 67), base + c.beat, c.length);
            if (s.stabs) {
                for (double b = 0; b < c.length; b += 1.0) {
                    double in_bar = std::fmod(c.beat + b, song.meter);
                    bool off = song.meter == 3 ? in_bar > 0.5 : (in_bar == 1 || in_bar == 3);
                    if (!off) continue;
                    for (int n : voicing(pcs, 60))
                        mix.add(time(base + c.beat + b), epiano(midi_hz(n), time(0.4)), 0.08 * lv, 0.3, 0.3);
                }
            }
        }
        play_drums(s, base, song.bars * song.meter, song.meter);
        at_beat += song.bars * song.meter;
    }

    void play_bass(const Section& s, int root_pc, double beat, double length, int meter) {
        int root = 36 + ((root_pc - 36) % 12 + 12) % 12;  // C2..B2
        if (root > 45) root -= 12;
        int fifth = root + 7;
        double lv = s.level;
        auto note = [&](int pitch, double b, double len, double g) {
            mix.add(time(b) + human(0.003), bass(midi_hz(pitch), time(len) * 0.85), g * lv, 0.0, 0.05);
        };
        switch (s.bass_style) {
            case Bass::None: break;
            case Bass::Long: note(root, beat, length, 0.27); break;
            case Bass::Bounce:
                for (double b = 0; b < length; b += 1.0)
                    note(static_cast<int>(b) % 2 ? fifth : root, beat + b, 1.0, 0.24);
                break;
            case Bass::Waltz:
                for (double b = 0; b < length; b += 1.0)
                    if (std::fmod(beat + b, meter) == 0) note(root, beat + b, 1.0, 0.28);
                break;
        }
    }

    void play_arpeggio(const Section& s, const std::vector<int>& notes, double beat, double length) {
        static const int order[] = {0, 1, 2, 1};
        int i = 0;
        for (double b = 0; b < length; b += 0.5, ++i) {
            int n = notes[order[i % 4] % notes.size()];
            mix.add(time(beat + b) + human(0.003), bell(midi_hz(n), time(0.45)), 0.07 * s.level, 0.45, 0.5);
        }
    }

    void play_drums(const Section& s, double base, int beats, int meter) {
        double lv = s.level;
        for (int b = 0; b < beats; ++b) {
            int in_bar = b % meter;
            double t = time(base + b);
            switch (s.drums) {
                case Drums::None: break;
                case Drums::Light:
                    if (in_bar % 2 == 0) mix.add(t, kick(), 0.42 * lv, 0.0, 0.02);
                    mix.add(t + time(0.5), sleigh(rng), 0.07 * lv, 0.3, 0.2);
                    break;
                case Drums::Full:
                    if (in_bar % 2 == 0) mix.add(t, kick(), 0.44 * lv, 0.0, 0.02);
                    if (in_bar % 2 == 1) mix.add(t, snare(rng), 0.20 * lv, -0.1, 0.25);
                    mix.add(t, hat(rng, 0.02), 0.05 * lv, -0.35, 0.05);
                    mix.add(t + time(0.5), sleigh(rng), 0.09 * lv, 0.3, 0.2);
                    mix.add(t, sleigh(rng), 0.05 * lv, 0.3, 0.2);
                    break;
                case Drums::Waltz:
                    if (in_bar == 0) mix.add(t, kick(), 0.38 * lv, 0.0, 0.02);
                    else mix.add(t, sleigh(rng), 0.06 * lv, 0.3, 0.2);
                    break;
            }
        }
    }

    // A held final chord with a bell on the root.
    void ending(int meter, const std::string& chord, int transpose) {
        Section s;
        s.song = chords_only(meter, chord + ":" + std::to_string(meter));
        s.transpose = transpose;
        s.bass_style = Bass::Long;
        int root = s.song.chords[0].pitch_classes[0] + transpose;
        mix.add(time(at_beat), bell(midi_hz(67 + ((root - 67) % 12 + 12) % 12), time(meter)), 0.3, 0.0, 0.5);
        play(s);
    }

    // Reverb, then one gain for the whole track that leaves 1.5 dB of headroom (no limiter
    // pumping, no clipping), and a short fade at both ends.
    void finish(double tail_seconds) {
        mix.fit(static_cast<size_t>((time(at_beat) + tail_seconds) * kRate));
        add_reverb(mix, 1.4);
        float peak = 0;
        for (size_t i = 0; i < mix.left.size(); ++i)
            peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
        float gain = peak > 0 ? 0.84f / peak : 1.0f;
        size_t n = mix.left.size(), fade = kRate / 100, fade_out = 2 * kRate;
        for (size_t i = 0; i < n; ++i) {
            float g = gain;
            if (i < fade) g *= static_cast<float>(i) / fade;
            if (n - i < fade_out) g *= static_cast<float>(n - i) / fade_out;
            mix.left[i] *= g;
            mix.right[i] *= g;
        }
    }
};

Section section(Song song, Lead lead, Drums drums, Bass bass_style, int transpose = 0) {
    Section s;
    s.song = std::move(song);
    s.lead = lead;
    s.drums = drums;
    s.bass_style = bass_style;
    s.transpose = transpose;
    return s;
}

// About 3 min 20 s in 4/4 at 128 bpm: Jingle Bells and Deck the Halls, the second half a tone up.
Mix sleigh_ride() {
    Arranger a(128);
    Section intro = section(chords_only(4, "G | Em | C | D7"), Lead::None, Drums::None, Bass::Long);
    intro.arpeggio = true;
    a.play(intro);
    a.play(section(jingle_verse(), Lead::Flute, Drums::Light, Bass::Long));
    Section chorus = section(jingle_chorus(), Lead::Bells, Drums::Full, Bass::Bounce);
    chorus.stabs = true;
    a.play(chorus);
    Section turn = section(chords_only(4, "G | Em | C | D7"), Lead::None, Drums::Light, Bass::Long);
    turn.arpeggio = true;
    a.play(turn);
    Section deck = section(deck_the_halls(), Lead::EPiano, Drums::Light, Bass::Bounce);
    deck.bells_above = true;
    a.play(deck);
    Section lift = section(chords_only(4, "E7"), Lead::None, Drums::Light, Bass::Long);
    lift.arpeggio = true;
    a.play(lift);
    Section chorus_up = section(jingle_chorus(), Lead::Bells, Drums::Full, Bass::Bounce, 2);
    chorus_up.bells_above = true;
    chorus_up.stabs = true;
    a.play(chorus_up);
    Section deck_up = section(deck_the_halls(), Lead::Flute, Drums::Full, Bass::Bounce, 2);
    deck_up.arpeggio = true;
    a.play(deck_up);
    Section last = section(jingle_chorus(), Lead::EPiano, Drums::Full, Bass::Bounce, 2);
    last.bells_above = true;
    last.stabs = true;
    a.play(last);
    a.ending(4, "A", 0);
    a.finish(3.0);
    return std::move(a.mix);
}

// About 2 min in 3/4 at 96 bpm: O Tannenbaum and We Wish You a Merry Christmas.
Mix winter_waltz() {
    Arranger a(96);
    Section intro = section(chords_only(3, "G | Em | C | D7"), Lead::None, Drums::None, Bass::Waltz);
    intro.arpeggio = true;
    a.play(intro);
    a.play(section(o_tannenbaum(), Lead::Bells, Drums::None, Bass::Waltz));
    Section wish = section(we_wish_you(), Lead::Flute, Drums::Waltz, Bass::Waltz);
    wish.stabs = true;
    a.play(wish);
    Section tree = section(o_tannenbaum(), Lead::EPiano, Drums::Waltz, Bass::Waltz);
    tree.bells_above = true;
    tree.stabs = true;
    a.play(tree);
    Section wish2 = section(we_wish_you(), Lead::Bells, Drums::Waltz, Bass::Waltz);
    wish2.arpeggio = true;
    wish2.stabs = true;
    a.play(wish2);
    a.ending(3, "G", 0);
    a.finish(3.0);
    return std::move(a.mix);
}

// 16-bit stereo WAV with triangular dither.
bool write_wav(const std::string& path, const Mix& mix) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint32_t frames = static_cast<uint32_t>(mix.left.size());
    uint32_t data_bytes = frames * 4;
    auto u32 = [&](uint32_t v) { unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; std::fwrite(b, 1, 4, f); };
    auto u16 = [&](uint16_t v) { unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)}; std::fwrite(b, 1, 2, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + data_bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(data_bytes);
    Rng dither{0xd1e7u};
    std::vector<unsigned char> bytes(static_cast<size_t>(data_bytes));
    for (uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            double v = (c ? mix.right[i] : mix.left[i]) * 32767.0 + (dither.uniform() - dither.uniform());
            auto s = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
            bytes[i * 4 + c * 2] = static_cast<uint8_t>(s);
            bytes[i * 4 + c * 2 + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
        }
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// lame keeps its info tag (no -t), which carries the encoder delay and padding for gapless
// decoding.
bool encode(const std::string& wav, const std::string& mp3, const std::string& title) {
    std::string cmd = "lame --quiet --noreplaygain -q 2 --cbr -b 128 --tt \"" + title +
                      "\" --ta \"glow of the snow\" \"" + wav + "\" \"" + mp3 + "\"";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gen_music OUT_DIR WORK_DIR\n");
        return 2;
    }
    std::string out = argv[1], work = argv[2];
    struct Track {
        const char* name;
        const char* title;
        Mix (*make)();
    } tracks[] = {{"track", "Sleigh Ride Medley", sleigh_ride}, {"track2", "Winter Waltz", winter_waltz}};
    try {
        for (const Track& t : tracks) {
            Mix mix = t.make();
            std::string wav = work + "/" + t.name + ".wav", mp3 = out + "/" + t.name + ".mp3";
            if (!write_wav(wav, mix) || !encode(wav, mp3, t.title)) {
                std::fprintf(stderr, "gen_music: could not write %s\n", mp3.c_str());
                return 1;
            }
            std::printf("gen_music: %s, %.1f s\n", mp3.c_str(), static_cast<double>(mix.left.size()) / kRate);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen_music: %s\n", e.what());
        return 1;
    }
    return 0;
}
