// Beside a surface, surfaces and folders whose names look like its own: the
// "_V2" names of every kind (a CUBE surface's grid set folder is also
// another CUBE surface's grid folder and a compound's member folder), a
// user's folder of that name, "<name>_0", the name in upper case, and CUBE
// surfaces whose names are the grid set's fixed names. Every operation on
// the surface leaves each of them byte for byte and readable, and does what
// it says on the surface itself, or refuses and changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CombineTestSupport.h"
#include "FolderSnapshot.h"
#include "TestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/CubeTestSupport.h"
#include "cube/GridLayerTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_node.h"
#include "multires/CompoundTestSupport.h"
#include "multires/KestrinSurfaceTestSupport.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/pathkit/PathUtilities.h"

using namespace combinetest;

namespace {

constexpr double kValue = 7.5;
// Makes and stores the surface of that file name (an extension of its kind, in any case).
using Make = std::function<void(const TempFolder&, const std::string& name)>;
// Whether the surface at the path reads what its maker put there.
using Reads = std::function<bool(const NORVAUString& path)>;

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The depth a CUBE surface holds at the first node of its grid (0, 0).
double cubeDepth(const NORVAUString& path) {
    KIVOSurfaceCUBEIO s(path);
    long status = 0;
    auto entry = s.getGrid(s.makeKey(0, 0), status, false, true);
    const _cube_node* node = entry ? cube_grid_get_node(entry->grid, 0, 0) : nullptr;
    return s.getStatus() == 0 && node && node->hypotheses ? cube_node_hyp(node, node->hypotheses)->depth : -1.0;
}

double valueOf(const NORVAUString& path) {
    long status = 0;
    NORVAType<KIVOSurface> s = KIVOSurfaceUtils::open(path, status);
    return s ? valueAt(*s, 1.0, 2.0, "Depth") : -1.0;
}

struct Kind {
    const char* what;
    const char* extension;
    Make make;
    Reads reads;
};

void combined(const TempFolder& dir, const std::string& path) {
    const NORVAUString source = dir.file("source.vns");
    if (!NORVAFileUtils::exists(source)) {
        ASSERT_EQ(0, storeGridded(source, {entry("Depth", KIVODataType::FLOAT)}, {{1.0, 2.0, {{"Depth", kValue}}}}));
    }
    testing::internal::CaptureStdout();
    const long status = combine(dir.file(path), {source});
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(0, status) << path;
}

const Reads kReadsValue = [](const NORVAUString& path) { return valueOf(path) == kValue; };

// The CUBE surfaces: one the host upgraded and edited through the grid
// layer, and plain ones holding a hypothesis.
const Kind kHostCube{"CUBE with a grid set", ".vcs",
                     [](const TempFolder& dir, const std::string& name) {
                         const NORVAUString path = dir.file(name);
                         ASSERT_EQ(0, cubetest::createStored(path, 19.0, 11.0, 1.0, 5));
                         // A file named like a grid of the set, there before
                         // it, would be taken for the set's: no upgrade.
                         if (NORVAFileUtils::exists(CUBE::GridSet::getOutputFolder(path) + "/0x0.vcg")) {
                             long status = 0;
                             CUBE::GridSet::upgrade(*CUBE::GridSet::fromSurfaceFile(path), status);
                             EXPECT_EQ(CUBE::GridSet::kCannotWrite, status);
                             return;
                         }
                         gridlayer::hostEdit(path);
                     },
                     [](const NORVAUString& path) { return gridlayer::hostDepth(path) == gridlayer::kHostDepth; }};
const Kind kCube{"CUBE", ".vcs",
                 [](const TempFolder& dir, const std::string& name) {
                     ASSERT_EQ(0, cubetest::storedWithGrid(dir.file(name)));
                 },
                 [](const NORVAUString& path) { return cubeDepth(path) == 12.5; }};
const Kind kGridded{"gridded", ".vns",
                    combined, kReadsValue};
const Kind kCompound{"compound", ".kms",
                     [](const TempFolder& dir, const std::string& name) {
                         const std::string stem = name.substr(0, name.rfind('.'));
                         auto meta = multirestest::compoundMetaData(dir.file(stem + ".xml"), multirestest::twoRanges());
                         KIVOCompoundIO io(dir.file(name), meta);
                         ASSERT_EQ(0, io.getStatus());
                         ASSERT_EQ(0, multirestest::setDepth(io, 1.0, 2.0, kValue * 2, DBL_MAX));
                         ASSERT_EQ(0, io.store(nullptr));
                     },
                     [](const NORVAUString& path) { return valueOf(path) == kValue * 2; }};
const Kind kTileStore{"tile store", ".kps",
                      combined,
                      kReadsValue};

// What stands beside the surface: its files (for a surface, those it lists)
// with their bytes, and how it reads.
struct Neighbour {
    std::string what;
    NORVAUString path;  // a surface's data file; empty for a user's folder
    foldersnapshot::Snapshot files;
    Reads reads;
};

foldersnapshot::Snapshot bytesOf(const std::vector<NORVAUString>& files) {
    foldersnapshot::Snapshot bytes;
    for (const NORVAUString& file : files)
        if (NORVAFileUtils::isRegularFile(file)) bytes[file.toUTF8()] = testsupport::readFile(file.toUTF8());
    return bytes;
}

Neighbour surfaceNeighbour(const TempFolder& dir, const Kind& kind, const std::string& name) {
    kind.make(dir, name);
    Neighbour n{std::string(kind.what) + " " + name, dir.file(name), {}, kind.reads};
    std::vector<NORVAUString> files;
    EXPECT_TRUE(KIVOSurfaceUtils::getSurfaceFiles(n.path, files)) << n.what;
    n.files = bytesOf(files);
    return n;
}

Neighbour userFolder(const TempFolder& dir, const std::string& name) {
    EXPECT_TRUE(NORVAFileUtils::makeDirectory(dir.file(name)));
    for (const char* file : {"notes.txt", "0x0.vcg"}) testsupport::writeFile(dir.file(name + "/" + file).toUTF8(), file);
    return Neighbour{"user folder " + name, NORVAUString(),
                     bytesOf({dir.file(name + "/notes.txt"), dir.file(name + "/0x0.vcg")}), Reads()};
}

// Every neighbour keeps every byte and reads as it did; the failures.
std::vector<std::string> disturbed(const std::vector<Neighbour>& neighbours) {
    std::vector<std::string> out;
    for (const Neighbour& n : neighbours) {
        std::vector<NORVAUString> files;
        for (const auto& file : n.files) files.emplace_back(file.first);
        if (bytesOf(files) != n.files) out.push_back(n.what + ": files changed");
        else if (n.reads && !n.reads(n.path)) out.push_back(n.what + ": reads otherwise");
    }
    return out;
}

struct Operation {
    const char* what;
    // The status, and where the surface is to be read afterwards (empty: gone).
    std::function<long(const TempFolder&, const NORVAUString& path, NORVAUString& result)> run;
};

long deleteAll(const NORVAUString& path) {
    NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(path);
    testing::internal::CaptureStdout();
    const long status = io ? io->deleteAllFiles(true) : -1;
    testing::internal::GetCapturedStdout();
    return status;
}

// An edit of the surface's own, stored: a hypothesis in a CUBE grid, a
// node value elsewhere.
long storeEdit(const NORVAUString& path) {
    if (path.endsWith(".vcs")) {
        KIVOSurfaceCUBEIO s(path);
        long status = 0;
        auto entry = s.getGrid(s.makeKey(0, 1), status, true, true);
        if (!entry || cube_node_add_basic_hypothesis(cube_grid_get_node(entry->grid, 0, 0), 4.0f, 0.25f) != 1)
            return status != 0 ? status : -1;
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        entry.reset();
        testing::internal::CaptureStdout();
        status = s.store(nullptr);
        testing::internal::GetCapturedStdout();
        return status;
    }
    if (path.endsWith(".kps")) {
        NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(path);
        if (!io || io->getStatus() != 0) return io ? io->getStatus() : -1;
        kestrinsurface::addNode(*io, 2.0, 1.0, 3.0);
        return io->store(nullptr);
    }
    long status = 0;
    NORVAType<KIVOSurface> s = KIVOSurfaceUtils::open(path, status);
    if (status != 0) return status;
    const KIVOMemDescriptor descriptor({entry("Depth", KIVODataType::FLOAT)});
    KIVOMemAttributeSet set(descriptor);
    set.setValue(0, 3.0);
    status = s->set(2.0, 1.0, set, descriptor, DBL_MAX);
    return status != 0 ? status : s->store(nullptr);
}

// The same surface under another name in the folder.
NORVAUString renamed(const TempFolder& dir, const NORVAUString& path, const char* name) {
    NORVAUString extension;
    PathUtilities::parsePath(path, nullptr, nullptr, nullptr, &extension);
    return dir.file(name) + extension;
}

// Copies `times` times onto one target; the first failure's status.
long copyOnto(const NORVAUString& path, const NORVAUString& target, int times) {
    testing::internal::CaptureStdout();
    long status = 0;
    for (int i = 0; status == 0 && i < times; ++i) status = KIVOSurfaceUtils::copySurface(path, target);
    testing::internal::GetCapturedStdout();
    return status;
}

const Operation kOperations[] = {
    {"store",
     [](const TempFolder&, const NORVAUString& path, NORVAUString& result) {
         result = path;
         return storeEdit(path);
     }},
    {"rename",
     [](const TempFolder& dir, const NORVAUString& path, NORVAUString& result) {
         long status = 0;
         NORVAType<KIVOSurface> s = KIVOSurfaceUtils::open(path, status);
         if (status != 0) return status;
         result = renamed(dir, path, "renamed");
         return s->rename("renamed");
     }},
    {"copy",
     [](const TempFolder& dir, const NORVAUString& path, NORVAUString& result) {
         return copyOnto(path, result = renamed(dir, path, "copy"), 1);
     }},
    {"copy over an earlier copy",
     [](const TempFolder& dir, const NORVAUString& path, NORVAUString& result) {
         return copyOnto(path, result = renamed(dir, path, "copy"), 2);
     }},
    {"deleteFiles",
     [](const TempFolder&, const NORVAUString& path, NORVAUString&) {
         return KIVOSurfaceUtils::deleteFiles(path) ? 0L : -1L;
     }},
    {"deleteAllFiles", [](const TempFolder&, const NORVAUString& path, NORVAUString&) { return deleteAll(path); }},
};

}  // namespace

TEST(NeighbourNames, EveryOperationTouchesTheSurfacesOwnFilesAlone) {
    struct Subject {
        const Kind* kind;
        std::string stem;
    } subjects[] = {{&kHostCube, "x"}, {&kHostCube, "vcg"}, {&kHostCube, "0x0"},
                    {&kGridded, "x"},  {&kCompound, "x"},   {&kTileStore, "x"}};
    // What stands under "<name>_V2": a surface of each kind, or a user's folder.
    const Kind* occupants[] = {&kCube, &kCompound, &kGridded, &kTileStore, nullptr};
    for (const Subject& subject : subjects)
        for (const Kind* occupant : occupants) {
            const std::string v2 = subject.stem + "_V2";
            const std::string fixture = std::string(subject.kind->what) + " " + subject.stem + " beside " +
                                        (occupant ? std::string(occupant->what) + " " + v2 : "user folder " + v2);
            SCOPED_TRACE(fixture);
            TempFolder dir;
            std::vector<Neighbour> neighbours;
            neighbours.push_back(occupant ? surfaceNeighbour(dir, *occupant, v2 + occupant->extension)
                                          : userFolder(dir, v2));
            neighbours.push_back(surfaceNeighbour(dir, kCube, subject.stem + "_0.vcs"));
            neighbours.push_back(surfaceNeighbour(dir, kTileStore, upper(subject.stem) + ".KPS"));
            for (const std::string fixed : {"vcg", "0x0"})
                if (subject.stem != fixed) neighbours.push_back(surfaceNeighbour(dir, kCube, fixed + ".vcs"));
            // Made, stored and (CUBE) upgraded by the host beside them.
            subject.kind->make(dir, subject.stem + subject.kind->extension);
            EXPECT_EQ(std::vector<std::string>{}, disturbed(neighbours)) << "create";
            const NORVAUString path = dir.file(subject.stem + subject.kind->extension);
            const foldersnapshot::Snapshot made = foldersnapshot::take(dir.path().toUTF8());
            const bool hasSet = !CUBE::GridSet::getSetFiles(path).empty();
            const Reads reads = subject.kind != &kHostCube || hasSet ? subject.kind->reads : [](const NORVAUString& p) {
                return KIVOSurfaceCUBEIO(p).getStatus() == 0 && gridlayer::hostDepth(p) == -1.0;
            };

            for (const Operation& op : kOperations) {
                SCOPED_TRACE(op.what);
                foldersnapshot::restore(dir.path().toUTF8(), made);
                NORVAUString result;
                const long status = op.run(dir, path, result);
                EXPECT_EQ(std::vector<std::string>{}, disturbed(neighbours));
                // A grid set can only go whole, with its folder: beside
                // files of others in that folder, a CUBE rename refuses.
                const bool setFolderShared = hasSet && occupant != &kGridded && occupant != &kTileStore;
                const bool refused = std::string(op.what) == "rename" &&
                                     (setFolderShared || subject.kind == &kTileStore);
                if (refused) {
                    EXPECT_NE(0, status);
                    EXPECT_TRUE(made == foldersnapshot::take(dir.path().toUTF8())) << "a refusal changed files";
                    continue;
                }
                EXPECT_EQ(0, status);
                // A tile store's deleteAllFiles deletes nothing.
                if (result.isEmpty() && subject.kind == &kTileStore && std::string(op.what) == "deleteAllFiles") {
                    EXPECT_TRUE(reads(path));
                } else if (result.isEmpty()) {
                    EXPECT_FALSE(NORVAFileUtils::exists(path)) << "not deleted";
                } else {
                    EXPECT_TRUE(reads(result)) << "the result reads otherwise";
                }
            }
        }
}
