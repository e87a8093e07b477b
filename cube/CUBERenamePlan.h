#pragma once
// What a rename of a CUBE surface moves, decided from what is on disk: the
// surface's own files and folders and nothing else. A folder it shares with
// files that are not its own (a user's, another surface's folder of the same
// name) cannot go whole, and moving its files out of it one by one would
// leave the surface split over two folders after a crash: the plan then
// refuses. Made once before the commit and again while the commit holds the
// folder, so that what is moved is what is there.
#include <utility>
#include <vector>

#include "platform/core/NORVAUString.h"

class NORVAFileTransaction;

class CUBERenamePlan {
public:
    // Old leaf name inside a folder, and the leaf it takes.
    using Renamed = std::pair<NORVAUString, NORVAUString>;

    explicit CUBERenamePlan(long refusal) : m_refusal(refusal) {}

    // Refuses when something stands at the path (a link too, even a dangling one).
    void requireFree(const NORVAUString& path);
    void moveFile(const NORVAUString& from, const NORVAUString& to);
    // Moves the folder whole and renames its own files inside it. Refuses
    // when it holds anything else: a commit's temporaries and journals
    // aside, which recovery finds by the folder's name.
    void moveFolder(const NORVAUString& folder, const NORVAUString& newFolder, const std::vector<Renamed>& own);

    long status() const { return m_status; }
    // Plans every move in the transaction, in the order decided.
    void planInto(NORVAFileTransaction& transaction) const;
    bool operator==(const CUBERenamePlan& other) const {
        return m_status == other.m_status && m_moves == other.m_moves;
    }
    bool operator!=(const CUBERenamePlan& other) const { return !(*this == other); }

private:
    long m_refusal;
    long m_status = 0;
    std::vector<std::pair<NORVAUString, NORVAUString>> m_moves;
};
