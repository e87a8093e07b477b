// A CUBE surface renamed again and again: generation g is named "c<g>", and
// its header, metadata, grid files, layer file and the host's version 2 grid
// set must move together with their bytes unchanged.
#include <filesystem>
#include <map>

#include "CrashKind.h"
#include "TestSupport.h"
#include "cube/CUBEGridSet.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"

namespace fs = std::filesystem;

namespace {

std::string stemOf(const std::string& folder, long generation) { return folder + "/c" + std::to_string(generation); }

// The files of generation g by their names with "c<g>" taken out.
std::map<std::string, std::string> filesOf(const std::string& folder, long generation) {
    const std::string stem = "c" + std::to_string(generation);
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        std::string name = fs::relative(e.path(), folder).string();
        for (size_t at = name.find(stem); at != std::string::npos; at = name.find(stem, at + 1))
            name.replace(at, stem.size(), "c");
        files[name] = testsupport::readFile(e.path().string());
    }
    return files;
}

class CubeRenameCrashKind : public CrashKind {
public:
    const char* name() const override { return "cube-rename"; }
    bool create(const std::string& folder) override {
        const NORVAUString path(stemOf(folder, 0) + ".vcs");
        if (cubetest::createStored(path, 9.0, 9.0, 1.0, 5) != 0) return false;
        {
            KIVOSurfaceCUBEIO surface(path);
            for (uint16_t i = 0; i < 4; ++i) {
                long status = 0;
                auto entry = surface.getGrid(surface.makeKey(i / 2, i % 2), status, true, true);
                if (!entry) return false;
                entry->grid->nodes[i].guide_depth = 10.0f + i;
                entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            }
            if (surface.store(nullptr) != 0) return false;
            cubetest::writeAll(CUBEUtils::layerFileName(surface.getGridPrefix(), "Depth", 1, 1), {1, 2, 3, 4});
        }
        long status = -1;
        std::shared_ptr<CUBE::GridSet> old = CUBE::GridSet::fromSurfaceFile(path);
        if (!old || !CUBE::GridSet::upgrade(*old, status) || status != 0) return false;
        const size_t setFiles = CUBE::GridSet::getSetFiles(path).size();
        m_files = filesOf(folder, 0);
        // header, metadata, four grids, one layer; the set file and its grids
        return setFiles > 1 && m_files.size() == 7 + setFiles;
    }
    bool advance(const std::string& folder, long generation) override { return rename(folder, generation) == 0; }
    long rewrite(const std::string& folder) override { return rename(folder, 0); }
    long check(const std::string& folder, std::string& why) override {
        // Opening the name on disk finishes a rename a crash cut short; when
        // that rename was committed the surface has its new name, and the
        // user, like this check, looks again.
        long generation = -1;
        for (int attempt = 0; attempt < 2; ++attempt) {
            generation = headerGeneration(folder);
            if (generation < 0) {
                why = "no header";
                return -1;
            }
            KIVOSurfaceCUBEIO surface(NORVAUString(stemOf(folder, generation) + ".vcs"));
            why = "open: " + std::to_string(surface.getStatus());
            if (surface.getStatus() == 0) break;
            if (attempt == 1) return -1;
        }
        const std::map<std::string, std::string> files = filesOf(folder, generation);
        if (files != m_files) {
            why = "the files under c" + std::to_string(generation) + " are not the surface's files:";
            for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
                why += " " + fs::relative(e.path(), folder).string();
            return -1;
        }
        return generation;
    }

private:
    static long rename(const std::string& folder, long generation) {
        KIVOSurfaceCUBEIO surface(NORVAUString(stemOf(folder, generation) + ".vcs"));
        if (surface.getStatus() != 0) return surface.getStatus();
        return surface.rename("c" + std::to_string(generation + 1));
    }

    // The newest name a header has; with a rename cut short, the old one.
    static long headerGeneration(const std::string& folder) {
        long generation = -1;
        for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
            const std::string n = e.path().filename().string();
            if (n[0] == 'c' && e.path().extension() == ".vcs") generation = std::max(generation, std::stol(n.substr(1)));
        }
        return generation;
    }

    std::map<std::string, std::string> m_files;
};

}  // namespace

KIVO_CRASH_KIND(CubeRenameCrashKind);
