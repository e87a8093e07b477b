// A weighted grid renamed again and again: generation g is named "w<g>",
// and its three files must move together with their bytes unchanged.
#include <filesystem>
#include <map>

#include "CrashKind.h"
#include "TestSupport.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "formats/wgrid/WGridTestSupport.h"

namespace {

const char* const kMoved[] = {".def", ".sum", ".weight"};

std::string stemOf(const std::string& folder, long generation) { return folder + "/w" + std::to_string(generation); }

class WGridRenameCrashKind : public CrashKind {
public:
    const char* name() const override { return "wgrid-rename"; }
    bool create(const std::string& folder) override {
        wgridtest::GridShape shape;
        shape.nx = 400;
        shape.ny = 300;
        wgridtest::writeSurface(stemOf(folder, 0), shape);
        for (const char* ext : kMoved) m_bytes[ext] = testsupport::readFile(stemOf(folder, 0) + ext);
        return !m_bytes[".sum"].empty();
    }
    bool advance(const std::string& folder, long generation) override { return rename(folder, generation) == 0; }
    long rewrite(const std::string& folder) override { return rename(folder, 0); }
    long check(const std::string& folder, std::string& why) override {
        // Opening the one definition on disk finishes a rename a crash cut
        // short; when that rename was committed the surface has its new
        // name, and the user, like this check, looks again.
        long generation = -1;
        for (int attempt = 0; attempt < 2; ++attempt) {
            generation = definedGeneration(folder);
            if (generation < 0) {
                why = "no definition";
                return -1;
            }
            KIVOWGridDataIO grid(NORVAUString(stemOf(folder, generation) + ".def"), "Depth");
            why = "open: " + std::to_string(grid.getStatus());
            if (grid.getStatus() == 0) break;
            if (attempt == 1) return -1;
        }
        unsigned files = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            for (const char* ext : kMoved) files += e.path().extension() == ext;  // the ".des" stays behind
        for (const char* ext : kMoved) {
            const std::string file = stemOf(folder, generation) + ext;
            if (!std::filesystem::is_regular_file(file) || testsupport::readFile(file) != m_bytes[ext]) {
                why = std::string(ext) + " missing or changed under w" + std::to_string(generation);
                return -1;
            }
        }
        if (files != 3) {
            why = std::to_string(files) + " surface files";
            return -1;
        }
        return generation;
    }

private:
    static long rename(const std::string& folder, long generation) {
        KIVOWGridDataIO grid(NORVAUString(stemOf(folder, generation) + ".def"), "Depth");
        if (grid.getStatus() != 0) return grid.getStatus();
        return grid.rename("w" + std::to_string(generation + 1));
    }

    static long definedGeneration(const std::string& folder) {
        long generation = -1;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            const std::string n = e.path().filename().string();
            if (n[0] == 'w' && e.path().extension() == ".def") generation = std::stol(n.substr(1));
        }
        return generation;
    }

    std::map<std::string, std::string> m_bytes;
};

}  // namespace

KIVO_CRASH_KIND(WGridRenameCrashKind);
