#pragma once
// One item of a tile store's metadata block: a name and key/value pairs.
#include "platform/core/KIVOExport.h"
#include <map>

#include "platform/core/NORVAUString.h"

class KIVO_EXPORT KestrinMetaItem {
public:
    KestrinMetaItem() = default;
    explicit KestrinMetaItem(const NORVAUString& name) : m_name(name) {}

    const NORVAUString& getName() const { return m_name; }
    void setName(const NORVAUString& name) { m_name = name; }
    const std::map<NORVAUString, NORVAUString>& getMap() const { return m_values; }
    void setValue(const NORVAUString& key, const NORVAUString& value) { m_values[key] = value; }

private:
    NORVAUString m_name;
    std::map<NORVAUString, NORVAUString> m_values;
};
