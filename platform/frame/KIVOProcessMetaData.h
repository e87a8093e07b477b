#pragma once
// The processing block of a surface's metadata: key/value strings that a
// processing step leaves for the next one (the CUBE configuration keeps its
// tuning values here). Keys keep the order they were first set in.
#include "platform/core/KIVOExport.h"
#include <utility>
#include <vector>

#include "platform/core/NORVAUString.h"

class KIVO_EXPORT KIVOProcessMetaData {
public:
    using Item = std::pair<NORVAUString, NORVAUString>;

    // Replaces the value of an existing key, else appends the key.
    void setValue(const NORVAUString& key, const NORVAUString& value) {
        for (Item& item : m_items) {
            if (item.first == key) {
                item.second = value;
                return;
            }
        }
        m_items.emplace_back(key, value);
    }
    // False (value unchanged) when the key is absent.
    bool getValue(const NORVAUString& key, NORVAUString& value) const {
        for (const Item& item : m_items) {
            if (item.first == key) {
                value = item.second;
                return true;
            }
        }
        return false;
    }
    bool hasKey(const NORVAUString& key) const {
        NORVAUString ignored;
        return getValue(key, ignored);
    }
    const std::vector<Item>& getItems() const { return m_items; }
    bool isEmpty() const { return m_items.empty(); }
    void clear() { m_items.clear(); }
    bool operator==(const KIVOProcessMetaData& o) const { return m_items == o.m_items; }

private:
    std::vector<Item> m_items;
};
