#include "cube/CUBEStagedGrids.h"

#include <unistd.h>

#include "cube/CUBEUtils.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVALockedFiles.h"

namespace {

NORVAUString folderPart(const NORVAUString& path) { return path.substring(0, path.lastIndexOf(u'/') + 1); }

NORVAUString namePart(const NORVAUString& path) { return path.substring(path.lastIndexOf(u'/') + 1); }

}  // namespace

CUBEStagedGrids& CUBEStagedGrids::operator=(CUBEStagedGrids&& other) noexcept {
    if (this == &other) return *this;
    clear();
    m_files = std::move(other.m_files);
    other.m_files.clear();
    return *this;
}

bool CUBEStagedGrids::keep(const CUBEGridIdx& key, NORVAAtomicFile& file) {
    Staged staged;
    staged.lock = file.keep(staged.path);
    if (staged.lock < 0) return false;
    drop(key);
    m_files.emplace(key, staged);
    return true;
}

NORVAUString CUBEStagedGrids::fileOf(const CUBEGridIdx& key) const {
    const auto found = m_files.find(key);
    return found == m_files.end() ? NORVAUString() : found->second.path;
}

// Removed while its lock is still held, so that no recovery running
// meanwhile takes it for a leftover of its own.
void CUBEStagedGrids::drop(const CUBEGridIdx& key) {
    const auto found = m_files.find(key);
    if (found == m_files.end()) return;
    ::unlink(found->second.path.toUTF8().c_str());
    closeLock(found->second);
    m_files.erase(found);
}

void CUBEStagedGrids::clear() {
    while (!m_files.empty()) drop(m_files.begin()->first);
}

void CUBEStagedGrids::followFolder(const NORVAUString& prefix) {
    for (auto& item : m_files)
        item.second.path = folderPart(CUBEUtils::gridFileName(prefix, item.first.row, item.first.column)) +
                           namePart(item.second.path);
}

void CUBEStagedGrids::commitInto(NORVAFileTransaction& transaction, const NORVAUString& prefix) {
    for (auto it = m_files.begin(); it != m_files.end();) {
        const NORVAUString target = CUBEUtils::gridFileName(prefix, it->first.row, it->first.column);
        if (!transaction.isNested()) {
            transaction.move(it->second.path, target);
            ++it;
            continue;
        }
        transaction.stage(it->second.path, target, it->second.lock);
        it = m_files.erase(it);
    }
}

void CUBEStagedGrids::committed() {
    for (auto& item : m_files) closeLock(item.second);
    m_files.clear();
}

void CUBEStagedGrids::closeLock(Staged& staged) {
    NORVALockedFiles::release(staged.lock);
    staged.lock = -1;
}
