// What fuzzing the PNG decode found: a 326-byte file whose text chunk claims 2 GiB made libpng
// allocate all of it before finding the file too short. Every committed input is replayed too.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/png/png_decode.h"
#include "tests/fuzz_regressions/replay.h"

namespace {

bool decode_bytes(const std::string& bytes, DecodedPng* out) {
    std::FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    if (!file) return false;
    bool ok = decode_png(file, true, 16384, out);
    std::fclose(file);
    return ok;
}

// The most address space the process has held, in KiB.
long peak_virtual_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmPeak:", 0) == 0) return std::stol(line.substr(7));
    return -1;
}

// A PNG chunk: length, type, data and CRC.
std::string chunk(const std::string& type, const std::string& data) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((data.size() >> shift) & 0xFF);
    out += type + data;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((crc >> shift) & 0xFF);
    return out;
}

TEST(PngDecodeRegressions, EveryCommittedInputKeepsTheDecodeInvariants) {
    EXPECT_GE(replay_all("png_decode"), 20u);
}

TEST(PngDecodeRegressions, AChunkLengthClaimingGigabytesReservesNothing) {
    const std::string bytes = read_bytes(regression_input("png_decode", "text_chunk_claims_2gib.png"));
    ASSERT_EQ(bytes.size(), 326u);
    const long before = peak_virtual_kib();
    ASSERT_GT(before, 0);
    DecodedPng image;
    EXPECT_FALSE(decode_bytes(bytes, &image));
    EXPECT_LT(peak_virtual_kib() - before, 256L * 1024);  // the claim was 2 GiB
}

// Text chunks of ordinary size are read as before; one over 8 MiB is skipped, and the image
// still loads.
TEST(PngDecodeRegressions, LargeTextChunksStillDecode) {
    const std::string seed = read_bytes(std::string(GLOW_SOURCE_DIR) + "/fuzz/corpus/png_decode/rgb8_srgb.png");
    ASSERT_GT(seed.size(), 33u);
    const std::string head = seed.substr(0, 33);  // signature and IHDR
    const std::string rest = seed.substr(33);
    DecodedPng image;
    ASSERT_TRUE(decode_bytes(seed, &image));

    const std::string one_mib = head + chunk("tEXt", "Comment" + std::string(1, '\0') + std::string(1 << 20, 'x')) + rest;
    DecodedPng with_text;
    ASSERT_TRUE(decode_bytes(one_mib, &with_text));
    EXPECT_EQ(with_text.width, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(with_text.pixels.get()), 48),
              std::string(reinterpret_cast<char*>(image.pixels.get()), 48));

    const std::string nine_mib = head + chunk("tEXt", "Comment" + std::string(1, '\0') + std::string(9 << 20, 'x')) + rest;
    DecodedPng skipped;
    ASSERT_TRUE(decode_bytes(nine_mib, &skipped));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(skipped.pixels.get()), 48),
              std::string(reinterpret_cast<char*>(image.pixels.get()), 48));
}

}  // namespace
