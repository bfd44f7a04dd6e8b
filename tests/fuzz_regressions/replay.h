// Replaying committed inputs through a fuzz target's entry point, as libFuzzer would run them:
// the target's seed corpus (fuzz/corpus/<target>) and what the fuzzers found
// (tests/fuzz_regressions/<target>).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Every input file of the target, sorted by path.
std::vector<std::string> fuzz_inputs(const std::string& target);

// A regression input of the target by file name.
std::string regression_input(const std::string& target, const std::string& name);

std::string read_bytes(const std::string& path);

// Runs every input of the target; a broken invariant aborts with the file's name printed before
// it. Returns how many inputs ran.
size_t replay_all(const std::string& target);
