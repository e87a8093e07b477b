#include "cube/CUBERenamePlan.h"

#include <set>

#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/pathkit/PathUtilities.h"

void CUBERenamePlan::requireFree(const NORVAUString& path) {
    if (m_status == 0 && NORVAFileUtils::isOccupied(path)) m_status = m_refusal;
}

void CUBERenamePlan::moveFile(const NORVAUString& from, const NORVAUString& to) {
    if (m_status == 0) m_moves.emplace_back(from, to);
}

void CUBERenamePlan::moveFolder(const NORVAUString& folder, const NORVAUString& newFolder,
                                const std::vector<Renamed>& own) {
    if (m_status != 0) return;
    std::vector<NORVAUString> entries;
    if (NORVAFileUtils::isSymbolicLink(folder) || !NORVAFileUtils::listDirectory(folder, entries)) {
        m_status = m_refusal;
        return;
    }
    std::set<NORVAUString> ownNames;
    for (const Renamed& file : own) ownNames.insert(file.first);
    if (!NORVAFileTransaction::holdsOnly(entries, ownNames)) {
        m_status = m_refusal;
        return;
    }
    m_moves.emplace_back(folder, newFolder);
    for (const Renamed& file : own)
        if (file.first != file.second)
            m_moves.emplace_back(PathUtilities::appendPath(newFolder, file.first),
                                 PathUtilities::appendPath(newFolder, file.second));
}

void CUBERenamePlan::planInto(NORVAFileTransaction& transaction) const {
    for (const auto& move : m_moves) transaction.move(move.first, move.second);
}
