// Reading an OBJ file's text as C formatted input reads a stream: tokens ("%127s"), line reads
// (fgets into 128 bytes), integers ("%d") and floats ("%f"), over one in-memory copy of the file.
// Internal to mesh/; matches glibc's stdio character for character, failed conversions included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The text still to read. The text is followed by OBJ_STREAM_PADDING readable bytes, the first
// of which (*end) is a NUL that is not part of the text: scanning loops stop there without a
// bounds test, and line reads may look eight bytes at a time. The text itself may hold NULs,
// which are ordinary characters.
struct ObjStream {
    const char* pos;
    const char* end;
};
enum { OBJ_STREAM_PADDING = 16 };

// The readers below run for every number of a file; they are small enough to inline everywhere.
#if defined(__GNUC__)
#define OBJ_INLINE inline __attribute__((always_inline))
#else
#define OBJ_INLINE inline
#endif

// What a read yields, as formatted input counts it: the values stored, or -1 when the text
// ended before the first of them (an input failure).
enum { OBJ_SCAN_EOF = -1 };

// Longest token and longest line read, as a 128-byte buffer holds them.
enum { OBJ_TOKEN_MAX = 127 };

// Corner forms of a face, in the notation of the reads that take them.
enum ObjCornerForm {
    OBJ_FORM_V,     // "%d"
    OBJ_FORM_VT,    // "%d/%d"
    OBJ_FORM_VN,    // "%d//%d"
    OBJ_FORM_VTN,   // "%d/%d/%d"
};

// One corner's numbers; a read that does not reach a number leaves it as it was.
struct ObjCorner {
    int32_t v, t, n;
};

// Character classes of the C locale.
inline bool obj_is_space(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool obj_is_digit(unsigned char c) {
    return static_cast<unsigned>(c - '0') < 10;
}

// Skips white space; false when the text has ended.
OBJ_INLINE bool obj_skip_space(ObjStream* s) {
    const char* p = s->pos;
    while (obj_is_space(static_cast<unsigned char>(*p))) ++p;
    s->pos = p;
    return p != s->end;
}

// "%127s": the next token, at most 127 characters; the rest of a longer one stays in the stream.
// Returns its length, 0 when the text has ended.
inline size_t obj_read_token(ObjStream* s, const char** token) {
    bool more = obj_skip_space(s);
    const char* start = s->pos;
    *token = start;
    if (!more) return 0;
    const char* limit = s->end - start > OBJ_TOKEN_MAX ? start + OBJ_TOKEN_MAX : s->end;
    const char* p = start;
    while (p != limit && !obj_is_space(static_cast<unsigned char>(*p))) ++p;
    s->pos = p;
    return static_cast<size_t>(p - start);
}

// fgets into 128 bytes: up to and including the next line end, at most 127 characters.
// Returns the length read, 0 when the text has ended.
OBJ_INLINE size_t obj_read_line(ObjStream* s, const char** line) {
    const char* start = s->pos;
    size_t left = static_cast<size_t>(s->end - start);
    size_t limit = left < size_t(OBJ_TOKEN_MAX) ? left : size_t(OBJ_TOKEN_MAX);
    size_t length = limit;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight bytes at a time (the padding keeps the last reads inside the buffer): a byte that
    // is '\n' becomes 0, and the lowest zero byte is found exactly.
    for (size_t i = 0; i < limit; i += 8) {
        uint64_t x;
        memcpy(&x, start + i, 8);
        x ^= 0x0A0A0A0A0A0A0A0Aull;
        uint64_t zero = (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
        if (zero) {
            size_t at = i + static_cast<size_t>(__builtin_ctzll(zero)) / 8;
            if (at < limit) length = at + 1;
            break;
        }
    }
#else
    if (const void* newline = memchr(start, '\n', limit))
        length = static_cast<size_t>(static_cast<const char*>(newline) - start) + 1;
#endif
    s->pos = start + length;
    *line = start;
    return length;
}

// The exact readers for any text, used where the fast paths below step aside.
int obj_scan_int_general(ObjStream* s, int32_t* value);
int obj_scan_float_general(ObjStream* s, float* value);

// m * 10^e correctly rounded to float, or false when the fast way cannot promise that.
// m and 10^e are exact doubles and one multiplication or division rounds once; rounding that
// double to float again is exact unless the double lies on a midpoint between two floats (the
// bounds on m and e keep every result well inside the normal range of float).
OBJ_INLINE bool obj_decimal_to_float(uint64_t m, int64_t e, float* value) {
    static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (m > (uint64_t(1) << 53) || e < -22 || e > 22) return false;
    double q = e >= 0 ? static_cast<double>(m) * powers[e] : static_cast<double>(m) / powers[-e];
    uint64_t bits;
    memcpy(&bits, &q, sizeof bits);
    if ((bits & 0x1FFFFFFF) == 0x10000000) return false;
    *value = static_cast<float>(q);
    return true;
}

// Reads the run of decimal digits at p and returns its end. With Store, the digits are appended
// to *value (which wraps past 19 digits).
template <bool Store = true>
OBJ_INLINE const char* obj_read_digits(const char* p, uint64_t* value) {
    // Two digits a step halves the chain of multiplications. p[1] is readable whenever p[0] is
    // a digit, as the text ends with a NUL.
    uint64_t v = *value;
    for (;;) {
        unsigned d0 = static_cast<unsigned char>(p[0]) - static_cast<unsigned>('0');
        if (d0 >= 10) break;
        unsigned d1 = static_cast<unsigned char>(p[1]) - static_cast<unsigned>('0');
        if (d1 >= 10) {
            if (Store) v = v * 10 + d0;
            ++p;
            break;
        }
        if (Store) v = v * 100 + d0 * 10 + d1;
        p += 2;
    }
    if (Store) *value = v;
    return p;
}

// "%d": strtol's value (saturated to the range of long) stored as an int, as glibc does. With
// Store false only the characters are consumed, for the counting pass.
template <bool Store = true>
OBJ_INLINE int obj_scan_int(ObjStream* s, int32_t* value) {
    if (!obj_skip_space(s)) return OBJ_SCAN_EOF;
    const char* p = s->pos;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char* digits = p;
    uint64_t magnitude = 0;
    p = obj_read_digits<Store>(p, &magnitude);
    if (p == digits) {
        s->pos = p;  // a sign without digits stays consumed
        return 0;
    }
    if (Store) {
        if (p - digits > 18) return obj_scan_int_general(s, value);  // may saturate
        *value = static_cast<int32_t>(static_cast<uint32_t>(negative ? 0 - magnitude : magnitude));
    }
    s->pos = p;
    return 1;
}

// "%f": what glibc's scanf collects, converted as strtof converts it. Plain decimals of up to
// 19 digits without an exponent are read here; everything else by the general reader.
OBJ_INLINE int obj_scan_float(ObjStream* s, float* value) {
    if (!obj_skip_space(s)) return OBJ_SCAN_EOF;
    const char* p = s->pos;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char* start = p;
    uint64_t mantissa = 0;
    p = obj_read_digits(p, &mantissa);
    int64_t digits = p - start, fraction = 0;
    if (*p == '.') {
        const char* first = ++p;
        p = obj_read_digits(p, &mantissa);
        fraction = p - first;
        digits += fraction;
    }
    unsigned char next = static_cast<unsigned char>(*p | 0x20);
    float result;
    if (digits == 0 || digits > 19 || next == 'e' || next == 'x' || !obj_decimal_to_float(mantissa, -fraction, &result))
        return obj_scan_float_general(s, value);
    *value = negative ? -result : result;
    s->pos = p;
    return 1;
}

// "%f %f ..." for count floats; returns what the read yields.
OBJ_INLINE int obj_scan_floats(ObjStream* s, float* values, int count) {
    for (int i = 0; i < count; ++i) {
        int r = obj_scan_float(s, &values[i]);
        if (r <= 0) return i > 0 ? i : r;
    }
    return count;
}

// A literal character of a format. A mismatch is pushed back; the end of the text ends the read
// as well, so either way the read stops with what it has.
OBJ_INLINE bool obj_match_char(ObjStream* s, char c) {
    if (*s->pos != c || s->pos == s->end) return false;
    ++s->pos;
    return true;
}

// Reads a corner in the given form into *corner; returns what the read yields. The loader has
// no use for normal numbers and reads them with StoreNormal false.
template <bool Store = true, bool StoreNormal = Store>
OBJ_INLINE int obj_scan_corner(ObjStream* s, ObjCornerForm form, ObjCorner* corner) {
    int r = obj_scan_int<Store>(s, &corner->v);
    if (r <= 0 || form == OBJ_FORM_V) return r;
    if (!obj_match_char(s, '/')) return 1;
    if (form == OBJ_FORM_VN) {
        if (!obj_match_char(s, '/') || obj_scan_int<StoreNormal>(s, &corner->n) <= 0) return 1;
        return 2;
    }
    if (obj_scan_int<Store>(s, &corner->t) <= 0) return 1;
    if (form == OBJ_FORM_VT) return 2;
    if (!obj_match_char(s, '/') || obj_scan_int<StoreNormal>(s, &corner->n) <= 0) return 2;
    return 3;
}

// A face's first corner read as its token, when that token, at s->pos, has one of the usual
// shapes: "1", "1/2", "1//3" or "1/2/3", each number optionally signed and at most 9 digits,
// followed by white space or the end. Gives the form and numbers that scanning the token with
// the form rules gives, and consumes the token; false (consuming nothing) for any other token.
OBJ_INLINE bool obj_simple_corner(ObjStream* s, ObjCornerForm* form, ObjCorner* corner) {
    const char* p = s->pos;
    int32_t numbers[3] = {0, 0, 0};
    int count = 0;
    bool empty_middle = false;
    for (;;) {
        bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        const char* digits = p;
        uint64_t n = 0;
        p = obj_read_digits(p, &n);
        if (p == digits || p - digits > 9) return false;
        numbers[count++] = static_cast<int32_t>(negative ? 0 - n : n);
        if (*p != '/') break;
        if (count == 3) return false;
        ++p;
        if (count == 1 && *p == '/') {
            empty_middle = true;
            ++count;
            ++p;
        }
    }
    if ((p != s->end && !obj_is_space(static_cast<unsigned char>(*p))) || p - s->pos > OBJ_TOKEN_MAX) return false;
    if (empty_middle && count != 3) return false;
    s->pos = p;
    corner->v = numbers[0];
    if (count == 1) {
        *form = OBJ_FORM_V;
    } else if (empty_middle) {
        *form = OBJ_FORM_VN;
        corner->n = numbers[2];
    } else if (count == 2) {
        *form = OBJ_FORM_VT;
        corner->t = numbers[1];
    } else {
        *form = OBJ_FORM_VTN;
        corner->t = numbers[1];
        corner->n = numbers[2];
    }
    return true;
}
