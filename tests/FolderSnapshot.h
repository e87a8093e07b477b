#pragma once
// Every file and folder under a folder with its bytes (a symbolic link with
// where it points), to compare a folder against its state before and after an
// operation, and to put it back.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace foldersnapshot {

using Snapshot = std::map<std::string, std::string>;
inline const char* const kFolder = "<folder>";

inline Snapshot take(const std::string& root) {
    namespace fs = std::filesystem;
    Snapshot files;
    if (!fs::exists(root)) return files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        std::string bytes = kFolder;
        if (e.is_symlink()) {
            bytes = "<link to " + fs::read_symlink(e.path()).string() + ">";
        } else if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        // Spelled as found: a symbolic link is an entry of its own.
        files[e.path().lexically_relative(root).string()] = bytes;
    }
    return files;
}

// The snapshot without the named entries (paths from the root) and what is
// below them: what lies outside the folders an operation may change.
inline Snapshot outside(const std::string& root, const std::vector<std::string>& own) {
    Snapshot files = take(root);
    for (auto it = files.begin(); it != files.end();) {
        bool owned = false;
        for (const std::string& name : own) owned = owned || it->first == name || it->first.rfind(name + "/", 0) == 0;
        it = owned ? files.erase(it) : std::next(it);
    }
    return files;
}

inline void restore(const std::string& root, const Snapshot& files) {
    namespace fs = std::filesystem;
    fs::create_directories(root);  // even when an operation took the root away
    for (const fs::directory_entry& e : fs::directory_iterator(root)) fs::remove_all(e.path());
    for (const auto& [name, bytes] : files) {
        const fs::path path = fs::path(root) / name;
        if (bytes == kFolder) {
            fs::create_directories(path);
            continue;
        }
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
}

}  // namespace foldersnapshot
