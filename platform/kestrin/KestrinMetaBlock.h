#pragma once
// A named metadata block of a tile store: its items in order.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/kestrin/KestrinMetaItem.h"

class KIVO_EXPORT KestrinMetaBlock {
public:
    KestrinMetaBlock() = default;
    explicit KestrinMetaBlock(const NORVAUString& name) : m_name(name) {}

    const NORVAUString& getName() const { return m_name; }
    void setName(const NORVAUString& name) { m_name = name; }
    const std::vector<KestrinMetaItem>& getItems() const { return m_items; }
    void addItem(const KestrinMetaItem& item) { m_items.push_back(item); }

private:
    NORVAUString m_name;
    std::vector<KestrinMetaItem> m_items;
};
