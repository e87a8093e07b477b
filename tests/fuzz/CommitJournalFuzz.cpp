// The journal of a multi-file commit, as recovery reads it beside a surface
// and applies it. Each input is tried as it is and, with "@" standing for
// the scratch folder, resealed (so mutations get past the checksum). A
// journal that reads names only paths below its own folder or the folder of
// a hard link to it, writes back to a journal that reads the same, and once
// applied has touched nothing outside those two folders.
//
// An input whose first byte is a forged layout (below kLayouts, never the
// first byte of a journal) is the journal a forger plants in that layout
// around the surface "j/s" instead: recovering the surface then changes
// nothing outside its folder "j".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FolderSnapshot.h"
#include "JournalText.h"
#include "fuzz/FuzzSupport.h"
#include "platform/core/NORVACommitJournal.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVALockedFiles.h"

namespace {

namespace fs = std::filesystem;

const char kFirstLine[] = "KIVO commit journal 1\n";

std::string root() { return fuzzsupport::scratchFolder() + "/cj"; }

void put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.good()) std::abort();
}

std::string contents(const std::string& path) {
    const std::vector<uint8_t> bytes = fuzzsupport::readWhole(path);
    return std::string(bytes.begin(), bytes.end());
}

// The surface folder "j" with the journal, its hard link in "b", and bait
// outside both: "keep" beside them and "out/keep" behind the link "j/link".
void layOut(const std::string& journal) {
    fuzzsupport::clearScratch("cj");
    const std::string r = root();
    for (const char* folder : {"/j", "/j/s", "/b", "/out"}) fs::create_directory(r + folder);
    for (const char* folder : {"/j", "/b"}) fs::permissions(r + folder, fs::perms(0755));
    put(r + "/j/s.vns", "grid");
    put(r + "/j/s/s_0.vns", "member");
    put(r + "/keep", "keep");
    put(r + "/out/keep", "keep");
    fs::create_directory_symlink(r + "/out", r + "/j/link");
    put(r + "/j/.s.journal", journal);
    if (::link((r + "/j/.s.journal").c_str(), (r + "/b/.t.journal").c_str()) != 0) std::abort();
}

bool plainBelow(const std::string& folder, const std::string& path) {
    if (path.compare(0, folder.size() + 1, folder + "/") != 0 || path.size() <= folder.size() + 1) return false;
    const std::string rest = "/" + path.substr(folder.size() + 1) + "/";
    return rest.find('\0') == std::string::npos && rest.find("//") == std::string::npos &&
           rest.find("/./") == std::string::npos && rest.find("/../") == std::string::npos;
}

bool inside(const std::string& path) { return plainBelow(root() + "/j", path) || plainBelow(root() + "/b", path); }

bool sameEntries(const NORVACommitJournal& a, const NORVACommitJournal& b) {
    if (a.entries().size() != b.entries().size()) return false;
    for (size_t i = 0; i < a.entries().size(); ++i) {
        const NORVACommitJournal::Entry &x = a.entries()[i], &y = b.entries()[i];
        if (x.kind != y.kind || x.from != y.from || x.to != y.to) return false;
    }
    return true;
}

bool readJournal(NORVACommitJournal& journal, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::abort();
    const bool ok = journal.read(fd, path);
    ::close(fd);
    return ok;
}

void check(const std::string& bytes) {
    layOut(bytes);
    const std::string r = root();
    NORVACommitJournal journal;
    if (!readJournal(journal, r + "/j/.s.journal")) {
        FUZZ_CHECK(journal.entries().empty() && journal.names().empty());
        return;
    }
    fuzzsupport::noteAccepted();
    for (const NORVACommitJournal::Entry& e : journal.entries())
        FUZZ_CHECK(inside(e.from) && (e.kind == NORVACommitJournal::REMOVE || inside(e.to)));
    for (const std::string& name : journal.names()) FUZZ_CHECK(inside(name));

    NORVACommitJournal copy = journal;
    const int fd = copy.write({r + "/j/.c.journal", r + "/b/.d.journal"});
    FUZZ_CHECK(fd >= 0);
    NORVALockedFiles::release(fd);
    NORVACommitJournal back;
    FUZZ_CHECK(readJournal(back, r + "/j/.c.journal"));
    FUZZ_CHECK(sameEntries(journal, back));
    FUZZ_CHECK(back.removeNames());

    (void)journal.apply();
    (void)journal.removeNames();
    FUZZ_CHECK(contents(r + "/keep") == "keep" && contents(r + "/out/keep") == "keep");
    FUZZ_CHECK(fs::is_symlink(r + "/j/link") || !fs::exists(r + "/j/link"));
}

// The lines between the first and the end line, "@" made the scratch folder.
std::string resealed(std::string text) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, root());
    if (text.compare(0, sizeof kFirstLine - 1, kFirstLine) == 0) text.erase(0, sizeof kFirstLine - 1);
    const size_t last = text.rfind('\n', text.size() < 2 ? 0 : text.size() - 2);
    const size_t endLine = last == std::string::npos ? 0 : last + 1;
    if (text.compare(endLine, 2, "E ") == 0) text.erase(endLine);
    return sealJournal(text);
}

// Where a forger puts the journal, beside "j/s", the surface's folder "j"
// (with "j/link" -> "out"), "b" a folder of this user, "out" a folder every
// user may write (sticky, like /tmp).
enum Layout : uint8_t {
    LINKED_OUTSIDE = 1,      // with a hard link "out/.h.journal"
    UNLISTED_LINK,           // with hard links "b/.t.journal" and "out/.x.journal"
    FOREIGN_JOURNAL,         // linked to "b/.t.journal", owned by another user
    FOREIGN_FOLDER,          // linked to "b/.t.journal", "b" another user's
    JOURNAL_SYMLINK,         // "out/.v.journal", "j/.s.journal" a link to it
    MEMBER_JOURNAL_SYMLINK,  // "out/.v.journal", "j/s/.m.journal" a link to it
    SURFACE_FOLDER_SYMLINK,  // "out/.v.journal" and a temporary, "j/s" -> "out"
    GRID_FOLDER_SYMLINK,     // "out/.v.journal" and a temporary, "j/s/g" -> "out"
    TEMPORARY_SYMLINK,       // "j/.s.vns.tmp-abcdef" -> "out/keep"
    JOURNAL_FIFO,            // "out/.v.journal", "j/.s.journal" a FIFO
    TEMPORARY_FIFO,          // "j/s/.s_0.vns.tmp-abcdef" a FIFO
    MEMBER_JOURNAL_LINK,     // "out/.m.journal", hard-linked as "j/s/.m.journal"
    ALONE,                   // nothing else
    kLayouts
};

void hardLink(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) != 0) std::abort();
}

void softLink(const std::string& to, const std::string& at) {
    if (::symlink(to.c_str(), at.c_str()) != 0) std::abort();
}

void moveTo(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) std::abort();
}

// False when the layout needs another user and this process cannot act as one.
bool layOutForged(uint8_t layout, const std::string& journal) {
    layOut(journal);
    const std::string r = root(), planted = r + "/j/.s.journal", outside = r + "/out/.v.journal";
    ::unlink((r + "/b/.t.journal").c_str());
    put(r + "/b/t.xml", "other");
    put(r + "/out/f2", "bait");
    fs::permissions(r + "/out", fs::perms(01777));
    switch (layout) {
        case LINKED_OUTSIDE: hardLink(planted, r + "/out/.h.journal"); break;
        case UNLISTED_LINK:
            hardLink(planted, r + "/b/.t.journal");
            hardLink(planted, r + "/out/.x.journal");
            break;
        case FOREIGN_JOURNAL:
        case FOREIGN_FOLDER:
            hardLink(planted, r + "/b/.t.journal");
            return ::chown((layout == FOREIGN_JOURNAL ? planted : r + "/b").c_str(), 4242, 4242) == 0;
        case JOURNAL_SYMLINK:
        case MEMBER_JOURNAL_SYMLINK:
            moveTo(planted, outside);
            softLink(outside, layout == JOURNAL_SYMLINK ? planted : r + "/j/s/.m.journal");
            break;
        case SURFACE_FOLDER_SYMLINK:
        case GRID_FOLDER_SYMLINK:
            moveTo(planted, outside);
            put(r + "/out/.x.vns.tmp-abcdef", "bait");
            if (layout == SURFACE_FOLDER_SYMLINK) fs::remove_all(r + "/j/s");
            softLink(r + "/out", r + (layout == SURFACE_FOLDER_SYMLINK ? "/j/s" : "/j/s/g"));
            break;
        case TEMPORARY_SYMLINK: softLink(r + "/out/keep", r + "/j/.s.vns.tmp-abcdef"); break;
        case JOURNAL_FIFO:
            moveTo(planted, outside);
            return ::mkfifo(planted.c_str(), 0600) == 0;
        case TEMPORARY_FIFO: return ::mkfifo((r + "/j/s/.s_0.vns.tmp-abcdef").c_str(), 0600) == 0;
        case MEMBER_JOURNAL_LINK:
            moveTo(planted, r + "/out/.m.journal");
            hardLink(r + "/out/.m.journal", r + "/j/s/.m.journal");
            break;
        default: break;
    }
    return true;
}

// Every file outside the surface's folder, with its bytes.
foldersnapshot::Snapshot outsideSurface() {
    foldersnapshot::Snapshot files = foldersnapshot::take(root());
    for (auto it = files.begin(); it != files.end();)
        it = it->first == "j" || it->first.compare(0, 2, "j/") == 0 ? files.erase(it) : std::next(it);
    return files;
}

void checkForged(uint8_t layout, const std::string& journal) {
    if (!layOutForged(layout, journal)) return;
    const foldersnapshot::Snapshot before = outsideSurface();
    (void)NORVAFileTransaction::recover(root() + "/j/s");
    FUZZ_CHECK(outsideSurface() == before);
}

// A journal written by the library in a folder of its own, with that folder
// spelled "@" so that the input stands for a journal beside any surface.
std::string written(const std::vector<std::pair<char, std::string>>& steps, const std::vector<std::string>& names) {
    const std::string w = fuzzsupport::scratchFolder() + "/seed";
    fs::remove_all(w);
    fs::create_directories(w + "/j");
    fs::create_directories(w + "/b");
    NORVACommitJournal journal;
    for (const auto& step : steps) {
        const size_t tab = step.second.find('\t');
        const bool ok = step.first == 'M'
                            ? journal.addMove(w + step.second.substr(0, tab), w + step.second.substr(tab + 1))
                            : journal.addRemove(w + step.second);
        if (!ok) std::abort();
    }
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(w + name);
    const int fd = journal.write(paths);
    if (fd < 0) std::abort();
    NORVALockedFiles::release(fd);
    std::string text = contents(paths.front());
    for (size_t at; (at = text.find(w)) != std::string::npos;) text.replace(at, w.size(), "@");
    fs::remove_all(w);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] > 0 && data[0] < kLayouts) {
        const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
        checkForged(data[0], bytes);
        checkForged(data[0], resealed(bytes));
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    check(resealed(bytes));
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    const std::string store = written({{'M', "/j/.s.vns.tmp-a1b2c3\t/j/s.vns"},
                                       {'M', "/j/.s.xml.tmp-d4e5f6\t/j/s.xml"},
                                       {'D', "/j/s/cache.vcc"}},
                                      {"/j/.s.journal"});
    const std::string rename = written({{'M', "/j/s.vns\t/j/t.vns"}, {'M', "/j/s\t/j/t"}, {'M', "/j/t/s_0.vns\t/j/t/t_0.vns"}},
                                       {"/j/.s.journal", "/j/.t.journal"});
    const std::string across = written({{'M', "/j/s.vns\t/b/t.vns"}, {'M', "/j/s\t/b/t"}, {'D', "/j/s.xml"}},
                                       {"/j/.s.journal", "/b/.t.journal"});
    const std::string removal = written({{'D', "/j/s.vns"}, {'D', "/j/s.xml"}, {'D', "/j/s"}}, {"/j/.s.journal"});
    for (const auto& seed : {std::make_pair("store", store), std::make_pair("rename", rename),
                             std::make_pair("across", across), std::make_pair("removal", removal)}) {
        seeds.add(seed.first, seed.second);
        seeds.add(std::string(seed.first) + "-short", seed.second.substr(0, seed.second.size() - 10));
    }
    // Each forged layout with a journal of the surface's own and one that
    // reaches outside through the layout.
    const std::string outside =
        sealJournal("D @/out/keep\nM @/out/f2\t@/j/f2\nN @/j/.s.journal\nN @/out/.h.journal\n");
    for (uint8_t layout = 1; layout < kLayouts; ++layout) {
        seeds.add("layout-" + std::to_string(layout) + "-store", std::string(1, char(layout)) + store);
        seeds.add("layout-" + std::to_string(layout) + "-outside", std::string(1, char(layout)) + outside);
    }
}
