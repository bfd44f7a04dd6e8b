// The reader's number and token reads against glibc's own fscanf on the same text: the same
// result, the same value bit for bit, and the same characters consumed.
#include "mesh/obj_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

// The text followed by the NUL and padding a stream needs.
struct Padded {
    std::string bytes;
    size_t size;
    explicit Padded(const std::string& text) : bytes(text + std::string(OBJ_STREAM_PADDING, '\0')), size(text.size()) {}
    ObjStream stream() const { return ObjStream{bytes.data(), bytes.data() + size}; }
    long consumed(const ObjStream& s) const { return s.pos - bytes.data(); }
};

struct Outcome {
    int result;
    uint32_t bits[3];
    long consumed;
    bool operator==(const Outcome& o) const {
        return result == o.result && consumed == o.consumed && memcmp(bits, o.bits, sizeof bits) == 0;
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "result " << o.result << " values " << std::hex << o.bits[0] << ' ' << o.bits[1] << ' '
               << o.bits[2] << std::dec << " consumed " << o.consumed;
}

// Runs a format over the text with glibc's fscanf, values starting from a marker pattern.
template <typename T>
Outcome glibc_reads(const std::string& text, const char* format, int values) {
    Outcome o{};
    T v[3];
    memset(v, 0x5A, sizeof v);
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (values == 1) o.result = fscanf(f, format, &v[0]);
    else if (values == 2) o.result = fscanf(f, format, &v[0], &v[1]);
    else o.result = fscanf(f, format, &v[0], &v[1], &v[2]);
    o.consumed = ftell(f);
    fclose(f);
    memcpy(o.bits, v, sizeof o.bits);
    return o;
}

Outcome ours_float(const std::string& text, int count) {
    Outcome o{};
    float v[3];
    memset(v, 0x5A, sizeof v);
    Padded padded(text);
    ObjStream s = padded.stream();
    o.result = obj_scan_floats(&s, v, count);
    o.consumed = padded.consumed(s);
    memcpy(o.bits, v, sizeof o.bits);
    return o;
}

Outcome ours_corner(const std::string& text, ObjCornerForm form) {
    Outcome o{};
    ObjCorner c;
    memset(&c, 0x5A, sizeof c);
    Padded padded(text);
    ObjStream s = padded.stream();
    o.result = obj_scan_corner(&s, form, &c);
    o.consumed = padded.consumed(s);
    uint32_t values[3];
    memcpy(values, &c, sizeof values);
    // fscanf fills its arguments in format order: v, then t or n.
    o.bits[0] = values[0];
    o.bits[1] = form == OBJ_FORM_VN ? values[2] : values[1];
    o.bits[2] = form == OBJ_FORM_VTN ? values[2] : 0x5A5A5A5A;
    return o;
}

void expect_same_reads(const std::string& text) {
    SCOPED_TRACE("text [" + text + "]");
    EXPECT_EQ(ours_float(text, 1), glibc_reads<float>(text, "%f", 1));
    EXPECT_EQ(ours_float(text, 3), glibc_reads<float>(text, "%f %f %f", 3));
    EXPECT_EQ(ours_corner(text, OBJ_FORM_V), glibc_reads<int>(text, "%d", 1));
    EXPECT_EQ(ours_corner(text, OBJ_FORM_VT), glibc_reads<int>(text, "%d/%d", 2));
    EXPECT_EQ(ours_corner(text, OBJ_FORM_VN), glibc_reads<int>(text, "%d//%d", 2));
    EXPECT_EQ(ours_corner(text, OBJ_FORM_VTN), glibc_reads<int>(text, "%d/%d/%d", 3));
}

TEST(ObjScan, HostileNumbersReadAsFscanfReadsThem) {
    const char* cases[] = {
        "", " \n\t", "1 2 3", "-1.5e3 +.5 7.", "nax 1", "na", "infx", "infinx", "infinity", "infinityx",
        "-inf", "NaN(12)", "+InFiNiTy", "1e", "1ex", "1e+", "1e+x", "1E-2", "0x", "0xp", "0x.p", "0x1p",
        "0x1.8p1 2", "0X1P-3", "-0x", "-", "+-1", ".", " .5", "-.e5", "1.2.3", "1e5e3", "-0", "00012e-2",
        "1e99", "1e-50", "3.4028235e38", "1e-45", "2e-46", "99999999999999999999", "-99999999999999999999",
        "4294967297", "2147483648", "-2147483649", "007", "- 1", "+ 5", "1//7", "1/2", "1/2/3", "1 /2",
        "1/ 2/3", "1/-/3", "1/2/", "1/", "/1", "5/6/7/8", "3//", "3// 4", "3//x", "12abc", "0.000000000000000000000000000001",
        "123456789012345678901234567890", "16777217", "16777217.000000000000000001", "0.1e-40", "1\0002",
    };
    for (const char* text : cases) expect_same_reads(text);
    expect_same_reads(std::string("1\0 2", 4));
    expect_same_reads(std::string(3000, '7') + "e-3000");
    expect_same_reads("0." + std::string(2000, '0') + "1e2005");
}

// Random decimals of every length and exponent, and decimals at or next to the midpoint between
// two neighbouring floats, where a fast conversion is most easily one unit off.
TEST(ObjScan, DecimalValuesAreCorrectlyRounded) {
    std::mt19937_64 random(12345);
    char text[128];
    for (int i = 0; i < 200000; ++i) {
        int digits = 1 + static_cast<int>(random() % 20);
        std::string mantissa;
        for (int d = 0; d < digits; ++d) mantissa += static_cast<char>('0' + random() % 10);
        int point = static_cast<int>(random() % (digits + 1));
        int exponent = static_cast<int>(random() % 61) - 30;
        snprintf(text, sizeof text, "%s%s.%se%d", random() % 2 ? "-" : "", mantissa.substr(0, point).c_str(),
                 mantissa.substr(point).c_str(), exponent);
        ASSERT_EQ(ours_float(text, 1), glibc_reads<float>(text, "%f", 1)) << text;
    }
    for (int i = 0; i < 100000; ++i) {
        float f = std::ldexp(static_cast<float>(random() % (1u << 24)), static_cast<int>(random() % 80) - 40);
        double midpoint = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
        int precision = 6 + static_cast<int>(random() % 12);
        snprintf(text, sizeof text, "%.*g", precision, midpoint);
        ASSERT_EQ(ours_float(text, 1), glibc_reads<float>(text, "%f", 1)) << text;
        snprintf(text, sizeof text, "%.40g", midpoint);  // exact, or nearly
        ASSERT_EQ(ours_float(text, 1), glibc_reads<float>(text, "%f", 1)) << text;
    }
}

TEST(ObjScan, TokensAndLinesStopAt127Characters) {
    Padded text("  " + std::string(200, 'x') + " y\nrest");
    ObjStream s = text.stream();
    const char* token;
    EXPECT_EQ(obj_read_token(&s, &token), 127u);
    EXPECT_EQ(token, text.bytes.data() + 2);
    EXPECT_EQ(obj_read_token(&s, &token), 73u);
    const char* line;
    EXPECT_EQ(obj_read_line(&s, &line), 3u);  // " y\n"
    EXPECT_EQ(obj_read_token(&s, &token), 4u);
    EXPECT_EQ(obj_read_token(&s, &token), 0u);
    EXPECT_EQ(obj_read_line(&s, &line), 0u);

    Padded long_line(std::string(300, 'a'));
    s = long_line.stream();
    EXPECT_EQ(obj_read_line(&s, &line), 127u);
    EXPECT_EQ(obj_read_line(&s, &line), 127u);
    EXPECT_EQ(obj_read_line(&s, &line), 46u);
}

}  // namespace
