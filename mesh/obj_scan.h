// Reading an OBJ file's text as C formatted input reads a stream: tokens ("%127s"), line reads
// (fgets into 128 bytes), integers ("%d") and floats ("%f"), over one in-memory copy of the file.
// Internal to mesh/; matches glibc's stdio character for character, failed conversions included.
#pragma once

#include <cstddef>
#include <cstdint>

// The text still to read. *end is always a NUL that is not part of the text, so scanning loops
// stop there without a bounds test; the text itself may hold NULs, which are ordinary characters.
struct ObjStream {
    const char* pos;
    const char* end;
};

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
inline bool obj_skip_space(ObjStream* s) {
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
size_t obj_read_line(ObjStream* s, const char** line);

// "%d": strtol's value (saturated to the range of long) stored as an int, as glibc does.
int obj_scan_int(ObjStream* s, int32_t* value);

// "%f": what glibc's scanf collects, converted as strtof converts it.
int obj_scan_float(ObjStream* s, float* value);

// Reads a corner in the given form into *corner; returns what the read yields.
int obj_scan_corner(ObjStream* s, ObjCornerForm form, ObjCorner* corner);

// "%f %f ..." for count floats; returns what the read yields.
int obj_scan_floats(ObjStream* s, float* values, int count);
