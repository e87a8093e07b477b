#include "multires/KIVOKestrinStringTable.h"

#include "multires/KestrinStatusCodes.h"

long KIVOKestrinStringTable::setString(uint16_t, const NORVAUString&) { return KestrinStatusCodes::NOT_OFFERED; }

std::unique_ptr<KIVOCompressedStringTable> KIVOKestrinStringTable::newCopy() const {
    return std::make_unique<KIVOKestrinStringTable>(*m_layout);
}
