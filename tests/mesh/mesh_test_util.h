// Helpers for the mesh tests: OBJ text written to a temporary file, and a model record that
// releases what it holds when the test ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "mesh/obj.h"
#include "mesh/obj_internal.h"

// A temporary file holding the given bytes (NULs included); removed when it goes out of scope.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        const char* dir = getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/mesh_test_XXXXXX";
        int fd = mkstemp(&path_[0]);
        if (fd >= 0) {
            size_t done = 0;
            while (done < bytes.size()) {
                ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            close(fd);
        }
    }
    ~TempFile() { unlink(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

// An ObjModel that starts all zero, as the demo's records do, and is released at the end.
struct Model : ObjModel {
    Model() : ObjModel{} {}
    ~Model() { obj_release(this); }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
};

// Loads OBJ text into a fresh record.
inline int load_text(Model* model, const std::string& text) {
    TempFile file(text);
    return obj_load(model, file.path());
}
