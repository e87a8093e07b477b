#pragma once
// One record of a tile store: a value per attribute of its layout. Numbers
// are held as doubles already inside their store type; text as UTF-8. A field
// may hold no value at all (a record read back with a missing field).
#include "platform/core/KIVOExport.h"
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/NORVAUString.h"
#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"

class KIVO_EXPORT NORVAKestrinGenericDataObject {
public:
    struct Field {
        double number = 0.0;
        std::string text;
        bool set = false;
    };

    // A record over no layout: every access answers -1 or none.
    NORVAKestrinGenericDataObject() = default;
    explicit NORVAKestrinGenericDataObject(std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout);

    long getNumAtts() const { return static_cast<long>(m_fields.size()); }
    const NORVAKestrinGenericDataDescriptor* getDescriptor() const { return m_layout.get(); }

    // The number of a numeric field; a field without a value gives its type's
    // empty value, a text field the number its text starts with (else 0).
    double getAttributeAsDouble(long index) const;
    // Writes the value as text into buffer (size bytes, terminator included),
    // numbers of the floating types with `precision` decimals. The text is
    // cut to fit; -1 for a bad index or no room at all.
    long getAttributeAsText(long index, char* buffer, size_t size, int precision) const;
    // The text of a field (numbers formatted as by getAttributeAsText).
    std::string getAttributeText(long index, int precision) const;
    // The raw field, or null for a bad index or a field without a value.
    const Field* getAttribute(long index, bool) const;

    // 0, or -1 when the index is bad, the field is text, or the value does not
    // fit the field's type (nothing changes then).
    long setAttribute(long index, double value, bool);
    // Text fields only; fixed text is cut to its size. -1 for other fields.
    long setAttribute(long index, const NORVAUString& value, bool);
    // Every numeric field to its type's empty value; text fields as they are.
    void setEmptyValues();
    // Marks a field as holding no value.
    void clearAttribute(long index);
    // Puts a value read from a file: pulled inside the type, never refused.
    void loadNumber(long index, double value);
    void loadText(long index, const std::string& text);
    void loadText(long index, std::string&& text);

    // Field `index` takes the value (or none) of the same field of a record
    // of the same layout.
    void copyField(const NORVAKestrinGenericDataObject& from, long index);
    // Field `index` holds the same value (or none) in both records.
    bool sameField(const NORVAKestrinGenericDataObject& o, long index) const;
    bool operator==(const NORVAKestrinGenericDataObject& o) const;

private:
    bool valid(long index) const { return index >= 0 && index < getNumAtts(); }

    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> m_layout;
    std::vector<Field> m_fields;
};
