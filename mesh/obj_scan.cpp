// Formatted-input reads over an in-memory OBJ text: the same characters consumed and the same
// values stored as glibc's fscanf and fgets, with a fast exact path for ordinary decimals.
#include "mesh/obj_scan.h"

#include <climits>
#include <cstdlib>
#include <cstring>

int obj_scan_int_general(ObjStream* s, int32_t* value) {
    if (!obj_skip_space(s)) return OBJ_SCAN_EOF;
    const char* p = s->pos;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    const char* digits = p;
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; obj_is_digit(static_cast<unsigned char>(*p)); ++p) {
        unsigned d = static_cast<unsigned>(*p - '0');
        if (magnitude > (UINT64_MAX - d) / 10) overflow = true;
        else magnitude = magnitude * 10 + d;
    }
    // The sign stays consumed when no digit follows it; the character after it does not.
    s->pos = p;
    if (p == digits) return 0;
    // strtol saturates to the range of long; scanf then stores the long into an int.
    const uint64_t long_max = static_cast<uint64_t>(LONG_MAX);
    uint64_t bits;
    if (negative) bits = overflow || magnitude > long_max + 1 ? static_cast<uint64_t>(LONG_MIN) : 0 - magnitude;
    else bits = overflow || magnitude > long_max ? long_max : magnitude;
    *value = static_cast<int32_t>(static_cast<uint32_t>(bits));
    return 1;
}

static bool is_hex_digit(unsigned char c) {
    return obj_is_digit(c) || static_cast<unsigned>((c | 0x20) - 'a') < 6;
}

// strtof on the characters scanf collected; false when it converts none of them.
static bool convert_collected(const char* start, size_t length, float* value) {
    char local[64];
    char* text = length < sizeof local ? local : static_cast<char*>(malloc(length + 1));
    if (!text) return false;
    memcpy(text, start, length);
    text[length] = '\0';
    char* stop;
    float result = strtof(text, &stop);
    bool converted = stop != text;
    if (text != local) free(text);
    if (converted) *value = result;
    return converted;
}

int obj_scan_float_general(ObjStream* s, float* value) {
    if (!obj_skip_space(s)) return OBJ_SCAN_EOF;
    const char* const start = s->pos;
    const char* const end = s->end;
    const char* p = start;
    bool negative = false;
    size_t sign_length = 0;
    if (*p == '-' || *p == '+') {
        negative = *p++ == '-';
        sign_length = 1;
        if (p == end) {
            s->pos = p;
            return 0;
        }
    }

    unsigned char c = static_cast<unsigned char>(*p);
    if ((c | 0x20) == 'n' || (c | 0x20) == 'i') {
        // "nan", "inf" or "infinity". A letter that breaks the word is consumed with it; a
        // word cut short by the end of the text fails with what was read.
        const char* word = (c | 0x20) == 'n' ? "nan" : "infinity";
        size_t need = 3;
        for (size_t i = 0; i < need; ++i, ++p) {
            if (p == end) {
                s->pos = p;
                return 0;
            }
            if ((*p | 0x20) != word[i]) {
                s->pos = p + 1;
                return 0;
            }
            if (i == 2 && word[0] == 'i' && p + 1 != end && (p[1] | 0x20) == 'i') need = 8;
        }
        s->pos = p;
        convert_collected(start, static_cast<size_t>(p - start), value);
        return 1;
    }

    bool hex = false, got_digit = false, got_dot = false, got_e = false, after_e = false;
    if (c == '0') {
        ++p;
        if ((*p | 0x20) == 'x' && p != end) {
            hex = true;
            ++p;
        } else {
            got_digit = true;
        }
    }
    // The value of a plain decimal, gathered on the way: up to 19 significant digits in
    // mantissa, the power of ten in exponent.
    uint64_t mantissa = 0;
    int digits = 0;
    int64_t exponent = 0, written_exponent = 0;
    bool exponent_negative = false, too_long = false;
    for (;; ++p) {
        c = static_cast<unsigned char>(*p);  // the closing NUL stops the loop like any non-number
        if (obj_is_digit(c)) {
            got_digit = true;
            after_e = false;
            unsigned d = c - '0';
            if (got_e) {
                if (written_exponent < 1000000) written_exponent = written_exponent * 10 + d;
            } else if (mantissa == 0 && d == 0) {
                exponent -= got_dot;
            } else if (digits < 19) {
                mantissa = mantissa * 10 + d;
                ++digits;
                exponent -= got_dot;
            } else {
                too_long = true;
            }
        } else if (hex && !got_e && is_hex_digit(c)) {
            got_digit = true;
        } else if (after_e && (c == '-' || c == '+')) {
            exponent_negative = c == '-';
            after_e = false;
        } else if (got_digit && !got_e && (c | 0x20) == (hex ? 'p' : 'e')) {
            got_e = got_dot = after_e = true;
        } else if (c == '.' && !got_dot) {
            got_dot = true;
        } else {
            break;
        }
    }
    s->pos = p;
    size_t length = static_cast<size_t>(p - start);
    if (length == sign_length || (hex && length == sign_length + 2)) return 0;
    if (!hex) {
        if (!got_digit) return 0;  // a lone point, signed or not
        if (mantissa == 0) {
            *value = negative ? -0.0f : 0.0f;
            return 1;
        }
        float result;
        if (!too_long && exponent > -1000000 &&
            obj_decimal_to_float(mantissa, exponent + (exponent_negative ? -written_exponent : written_exponent),
                             &result)) {
            *value = negative ? -result : result;
            return 1;
        }
    }
    return convert_collected(start, length, value) ? 1 : 0;
}
