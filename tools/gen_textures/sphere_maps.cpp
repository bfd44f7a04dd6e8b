// Sphere maps for the demo's reflective meshes: the picture a mirror ball would show of a
// surrounding scene, made by tracing the reflection of every texel's normal.
//
// Both scenes are kept dim (most of each map between about 0.15 and 0.5) with a few small
// spots near white: the demo's glow raises every pixel to the fourth power and sums nine taps,
// so broad areas above ~0.55 would wash the picture out while the small spots bloom.
#include "tools/gen_textures/sphere_maps.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
    double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(Vec3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalized(Vec3 a) { return a * (1.0 / std::sqrt(dot(a, a))); }
Vec3 mix(Vec3 a, Vec3 b, double t) { return a * (1.0 - t) + b * t; }
Vec3 grey(double v) { return {v, v, v}; }

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
double smoothstep(double e0, double e1, double v) {
    const double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
double radians(double degrees) { return degrees * kPi / 180.0; }

// The shortest signed difference of two azimuths, in -pi..pi.
double azimuth_delta(double a, double b) {
    double d = std::fmod(a - b, 2 * kPi);
    if (d > kPi) d -= 2 * kPi;
    if (d < -kPi) d += 2 * kPi;
    return d;
}

// A small deterministic generator, so every run places the stars and trees alike.
struct Lcg {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0;
    }
    double range(double lo, double hi) { return lo + (hi - lo) * next(); }
};

// A direction as elevation above the horizon and azimuth around the vertical axis; azimuth 0
// points back at the viewer (the middle of the map), +-pi away from the viewer (the rim).
struct Direction {
    Vec3 v;
    double elevation;
    double azimuth;
};

Direction direction(Vec3 v) {
    return {v, std::asin(std::clamp(v.y, -1.0, 1.0)), std::atan2(v.x, v.z)};
}

Vec3 from_angles(double elevation_deg, double azimuth_deg) {
    const double e = radians(elevation_deg), a = radians(azimuth_deg);
    return {std::cos(e) * std::sin(a), std::sin(e), std::cos(e) * std::cos(a)};
}

// Traces every texel of a size x size sphere map (as it looks on screen, top row up) through
// the scene, averaging 4 x 4 samples per texel so that sharp edges come out smooth.
template <typename Scene>
Image trace_sphere_map(int size, const Scene& scene) {
    constexpr int kSamples = 4;
    Image image(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            Vec3 sum{0, 0, 0};
            for (int j = 0; j < kSamples; ++j) {
                for (int i = 0; i < kSamples; ++i) {
                    double nx = 2.0 * (x + (i + 0.5) / kSamples) / size - 1.0;
                    double ny = 1.0 - 2.0 * (y + (j + 0.5) / kSamples) / size;
                    // Outside the ball the rim's colours carry on outward; the demo never
                    // looks there, but a clean edge keeps nearest sampling free of seams.
                    const double r2 = nx * nx + ny * ny;
                    if (r2 > 0.9999) {
                        const double k = std::sqrt(0.9999 / r2);
                        nx *= k;
                        ny *= k;
                    }
                    const double nz = std::sqrt(std::max(0.0, 1.0 - nx * nx - ny * ny));
                    // The view ray (0, 0, -1) reflected about the normal.
                    const Vec3 reflected{2 * nz * nx, 2 * nz * ny, 2 * nz * nz - 1};
                    sum = sum + scene(direction(normalized(reflected)));
                }
            }
            sum = sum * (1.0 / (kSamples * kSamples));
            uint8_t* p = image.at(x, y);
            p[0] = static_cast<uint8_t>(std::lround(clamp01(sum.x) * 255));
            p[1] = static_cast<uint8_t>(std::lround(clamp01(sum.y) * 255));
            p[2] = static_cast<uint8_t>(std::lround(clamp01(sum.z) * 255));
        }
    }
    return image;
}

// ---- the snowy night -------------------------------------------------------------------

struct Star {
    Vec3 at;
    double radius;  // angular, radians
    double brightness;
};

struct Tree {
    double azimuth;
    double height;  // elevation of the tip, radians
    double half_width;
};

class SnowyNight {
public:
    SnowyNight() {
        Lcg rng{20240101u};
        for (int i = 0; i < 90; ++i) {
            const double elevation = std::asin(rng.range(std::sin(radians(14)), 0.97));
            const double azimuth = rng.range(-180, 180);
            const double brightness = rng.next();
            stars_.push_back({from_angles(elevation * 180 / kPi, azimuth),
                              radians(0.35 + 0.55 * brightness),
                              0.35 + 0.6 * brightness * brightness});
        }
        for (int i = 0; i < 150; ++i) {
            const double height = radians(rng.range(2.0, 6.5));
            const double azimuth = radians(rng.range(-180, 180));
            trees_.push_back({azimuth, height, height * rng.range(0.26, 0.34)});
        }
    }

    Vec3 operator()(const Direction& d) const {
        // Nothing on the horizon reaches this high; skip tracing the trees.
        if (d.elevation > radians(9)) return sky(d);
        const double ridge = horizon(d.azimuth);
        if (d.elevation > ridge) return sky(d);
        if (d.elevation > 0.0) return forest(d, ridge);
        return snow(d);
    }

private:
    Vec3 moon_ = normalized(from_angles(24, -38));
    double dusk_azimuth_ = radians(115);  // where the last light of the day lingers
    std::vector<Star> stars_;
    std::vector<Tree> trees_;

    // The top of the dark line of hills and pines along the horizon.
    double horizon(double azimuth) const {
        double top = radians(1.2) + radians(0.8) * std::sin(2 * azimuth + 0.7) +
                     radians(0.6) * std::sin(5 * azimuth + 2.1);
        for (const Tree& t : trees_) {
            const double off = std::fabs(azimuth_delta(azimuth, t.azimuth));
            if (off < t.half_width) {
                // Pines: a triangle with three small tiers of branches.
                const double along = 1.0 - off / t.half_width;
                const double tiers = 0.82 + 0.18 * std::fmod(along * 3.0, 1.0);
                top = std::max(top, t.height * along * tiers + radians(0.6));
            }
        }
        return top;
    }

    Vec3 sky(const Direction& d) const {
        const double up = clamp01(d.elevation / (kPi / 2));
        const Vec3 horizon_colour{0.30, 0.22, 0.42};
        const Vec3 middle{0.14, 0.13, 0.36};
        const Vec3 zenith{0.06, 0.07, 0.22};
        Vec3 c = up < 0.3 ? mix(horizon_colour, middle, smoothstep(0, 0.3, up))
                          : mix(middle, zenith, smoothstep(0.3, 1.0, up));
        // Dusk: a warm rose glow low over one side of the horizon.
        const double dusk_off = azimuth_delta(d.azimuth, dusk_azimuth_);
        const double dusk = std::exp(-dusk_off * dusk_off / 0.45) * std::exp(-d.elevation / 0.22);
        c = c + Vec3{0.20, 0.08, 0.04} * dusk;

        for (const Star& s : stars_) {
            const double cosine = dot(d.v, s.at);
            if (cosine < 0.999) continue;
            const double angle = std::acos(std::min(1.0, cosine)) / s.radius;
            c = c + Vec3{0.95, 0.95, 1.0} * (s.brightness * std::exp(-angle * angle));
        }

        const double to_moon = std::acos(std::clamp(dot(d.v, moon_), -1.0, 1.0));
        c = c + Vec3{0.16, 0.15, 0.20} * std::exp(-to_moon / 0.10) +
            Vec3{0.05, 0.05, 0.08} * std::exp(-to_moon / 0.45);
        const double disc = radians(5.5);
        const double inside = smoothstep(disc, disc * 0.93, to_moon);
        if (inside > 0) {
            // Two soft grey seas on the moon's face, offsets from its centre.
            const Vec3 face = d.v + moon_ * -1.0;
            const Vec3 sea1 = face + Vec3{0.02, 0.01, 0}, sea2 = face + Vec3{-0.015, -0.025, 0.01};
            const double seas = 0.06 * std::exp(-dot(sea1, sea1) / 0.0006) +
                                0.05 * std::exp(-dot(sea2, sea2) / 0.0004);
            c = mix(c, Vec3{1.0, 0.98, 0.90} * (1.0 - seas), inside);
        }
        return c;
    }

    Vec3 forest(const Direction& d, double ridge) const {
        // Dark pines, a little lighter low down where snow lies between the trunks.
        const double low = 1.0 - clamp01(d.elevation / ridge);
        return mix(Vec3{0.05, 0.06, 0.11}, Vec3{0.11, 0.12, 0.19}, low * low);
    }

    Vec3 snow(const Direction& d) const {
        const double down = clamp01(-d.elevation / (kPi / 2));
        Vec3 c = mix(Vec3{0.26, 0.27, 0.38}, Vec3{0.40, 0.42, 0.50}, smoothstep(0, 0.8, down));
        // Gentle drifts: long soft waves across the ground plane, fading into the distance
        // where they would shrink below a texel.
        const double distance = 1.0 / std::max(-d.v.y, 0.02);
        const double gx = d.v.x * distance, gz = d.v.z * distance;
        const double drifts = std::sin(0.9 * gx + 0.6 * std::sin(0.5 * gz)) *
                              std::sin(0.35 * gz - 0.4 * gx + 1.3);
        c = c + grey(0.035 * drifts * smoothstep(0.02, 0.25, down));
        // Moonlight lying on the snow in a broad path below the moon.
        const double moon_azimuth = std::atan2(moon_.x, moon_.z);
        const double off = azimuth_delta(d.azimuth, moon_azimuth);
        c = c + Vec3{0.07, 0.07, 0.06} * (std::exp(-off * off / 0.08) * std::exp(-down / 0.2));
        return c;
    }
};

// ---- the chrome studio ---------------------------------------------------------------

struct Light {
    double azimuth0, azimuth1, elevation0, elevation1;  // degrees
    int panes_across, panes_down;
    double brightness;
};

class ChromeStudio {
public:
    Vec3 operator()(const Direction& d) const {
        Vec3 c;
        if (d.elevation >= 0) {
            const double v = 0.44 - 0.22 * smoothstep(0.0, 1.3, d.elevation);
            c = Vec3{v * 0.97, v, v * 1.04};
            // A pale band just above the horizon, the classic chrome edge.
            c = c + grey(0.07 * std::exp(-d.elevation / 0.05));
            // Dark panels on the walls.
            for (const auto& [a0, a1] : {std::pair{8.0, 30.0}, std::pair{-135.0, -100.0},
                                         std::pair{60.0, 95.0}}) {
                const double az = d.azimuth * 180 / kPi;
                const double across = smoothstep(a0, a0 + 1.0, az) * smoothstep(a1, a1 - 1.0, az);
                const double high = smoothstep(radians(48), radians(46), d.elevation);
                c = mix(c, Vec3{0.17, 0.17, 0.19}, 0.75 * across * high);
            }
        } else {
            const double down = clamp01(-d.elevation / (kPi / 2));
            const double v = 0.12 + 0.11 * smoothstep(0.0, 1.0, down);
            c = Vec3{v, v * 1.02, v * 1.06};
            // A soft pool of light on the floor below the window.
            const double off = azimuth_delta(d.azimuth, radians(-52));
            c = c + grey(0.09 * std::exp(-off * off / 0.12) *
                         std::exp(-(down - 0.35) * (down - 0.35) / 0.03));
        }
        for (const Light& light : lights_) c = mix(c, Vec3{0.96, 0.98, 1.0}, lit(light, d));
        return c;
    }

private:
    std::vector<Light> lights_ = {
        {-72, -32, 16, 50, 2, 2, 1.0},  // a tall window behind the viewer's left shoulder
        {36, 44, 6, 52, 1, 3, 1.0},     // a strip light on the right
        {-12, 14, 64, 74, 2, 1, 1.0},   // a small panel overhead
        {150, 175, 10, 30, 1, 1, 1.0},  // a light beyond the ball, seen at its rim
    };

    // How much of the direction falls on the light, its panes parted by thin dark bars.
    static double lit(const Light& l, const Direction& d) {
        const double az = d.azimuth * 180 / kPi;
        const double el = d.elevation * 180 / kPi;
        if (az < l.azimuth0 || az > l.azimuth1 || el < l.elevation0 || el > l.elevation1)
            return 0.0;
        const double u = (az - l.azimuth0) / (l.azimuth1 - l.azimuth0) * l.panes_across;
        const double v = (el - l.elevation0) / (l.elevation1 - l.elevation0) * l.panes_down;
        // Bars on the inner divisions only, so the light's outer edge stays sharp.
        const double bar = 0.035;
        const double nearest_u = std::round(u), nearest_v = std::round(v);
        const bool on_bar =
            (nearest_u >= 1 && nearest_u < l.panes_across && std::fabs(u - nearest_u) < bar) ||
            (nearest_v >= 1 && nearest_v < l.panes_down && std::fabs(v - nearest_v) < bar);
        return on_bar ? 0.0 : l.brightness;
    }
};

}  // namespace

Image snowy_sky_map(int size) { return trace_sphere_map(size, SnowyNight()); }

Image chrome_map(int size) { return trace_sphere_map(size, ChromeStudio()); }
