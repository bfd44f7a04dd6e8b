// Where the demo's data/ folder is. The demo opens its files by paths relative to the working
// directory ("data/textures/font.png"), so a program started elsewhere (from a file manager, or
// as build/glow from a checkout) first looks for data/ and, when it lies elsewhere, moves there.
#pragma once

#include <string>
#include <vector>

// The folders to look in, in order: the current one, the one the program lies in, and the one
// above that (a build folder's checkout), each once.
std::vector<std::string> data_dir_places(const std::string& current, const std::string& program);

// The first of the places that holds a data/ folder; empty when none does.
std::string find_data_dir(const std::vector<std::string>& places);

// Makes the first place with data/ the working directory (where it is the current folder,
// nothing changes). When none has one, writes one line to stderr, headed by program_name, that
// names the places tried, and changes nothing. Returns whether data/ was found.
bool enter_data_dir(const char* program_name);
