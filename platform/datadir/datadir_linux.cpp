// Built on POSIX and Linux's /proc/self/exe; runs on Linux.
// Finds data/ beside the program by the program's own path as the kernel gives it (links
// resolved), so it works however and from wherever the program was started.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/datadir/datadir.h"

namespace {

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string current_folder() {
    char path[PATH_MAX];
    return getcwd(path, sizeof(path)) ? path : ".";
}

std::string program_path() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : "";
}

}  // namespace

std::vector<std::string> data_dir_places(const std::string& current, const std::string& program) {
    std::vector<std::string> places = {current};
    if (!program.empty()) {
        const std::string beside = folder_of(program);
        for (const std::string& place : {beside, folder_of(beside)})
            if (std::find(places.begin(), places.end(), place) == places.end())
                places.push_back(place);
    }
    return places;
}

std::string find_data_dir(const std::vector<std::string>& places) {
    for (const std::string& place : places) {
        struct stat info;
        if (stat((place + "/data").c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return place;
    }
    return "";
}

bool enter_data_dir(const char* program_name) {
    const std::vector<std::string> places = data_dir_places(current_folder(), program_path());
    const std::string found = find_data_dir(places);
    if (found.empty()) {
        std::string tried;
        for (size_t i = 0; i < places.size(); ++i)
            tried += (i == 0 ? "" : i + 1 == places.size() ? " or " : ", ") + places[i];
        fprintf(stderr, "%s: found no data/ folder in %s\n", program_name, tried.c_str());
        return false;
    }
    if (found != places[0] && chdir(found.c_str()) != 0) {
        fprintf(stderr, "%s: cannot change to %s, where data/ is\n", program_name, found.c_str());
        return false;
    }
    return true;
}
