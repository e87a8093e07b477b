// The journal of a multi-file commit, as recovery reads it beside a surface
// and applies it. Each input is tried as it is and, with "@" standing for
// the scratch folder, resealed (so mutations get past the checksum). A
// journal that reads names only paths below its own folder or the folder of
// a hard link to it, writes back to a journal that reads the same, and once
// applied has touched nothing outside those two folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "JournalText.h"
#include "fuzz/FuzzSupport.h"
#include "platform/core/NORVACommitJournal.h"

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
    ::close(fd);
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
    ::close(fd);
    std::string text = contents(paths.front());
    for (size_t at; (at = text.find(w)) != std::string::npos;) text.replace(at, w.size(), "@");
    fs::remove_all(w);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
}
