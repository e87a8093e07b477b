#include "platform/kestrin/NORVAKestrinGenericDataObject.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/kestrin/KestrinStoreType.h"

namespace {

bool isFloating(int32_t type) {
    using namespace KestrinStoreType;
    return type == DOUBLE || type == FLOAT || type == DATETIME || type == DATE || type == TIME;
}

}  // namespace

NORVAKestrinGenericDataObject::NORVAKestrinGenericDataObject(
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout)
    : m_layout(std::move(layout)),
      m_fields(m_layout ? static_cast<size_t>(m_layout->getNumAtts()) : 0) {}

double NORVAKestrinGenericDataObject::getAttributeAsDouble(long index) const {
    if (!valid(index)) return 0.0;
    const int32_t type = m_layout->getType(index);
    const Field& f = m_fields[index];
    if (KestrinStoreType::isText(type)) return f.set ? std::strtod(f.text.c_str(), nullptr) : 0.0;
    return f.set ? f.number : KestrinStoreType::emptyValue(type);
}

std::string NORVAKestrinGenericDataObject::getAttributeText(long index, int precision) const {
    if (!valid(index)) return std::string();
    const int32_t type = m_layout->getType(index);
    if (KestrinStoreType::isText(type)) return m_fields[index].set ? m_fields[index].text : std::string();
    const double v = getAttributeAsDouble(index);
    char text[512];
    if (isFloating(type)) {
        const int digits = precision < 0 ? 0 : (precision > 17 ? 17 : precision);
        std::snprintf(text, sizeof text, "%.*f", digits, v);
    } else {
        std::snprintf(text, sizeof text, "%.0f", v);
    }
    return text;
}

long NORVAKestrinGenericDataObject::getAttributeAsText(long index, char* buffer, size_t size, int precision) const {
    if (!valid(index) || buffer == nullptr || size == 0) return -1;
    const uint32_t room = size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
    // A text field is cut straight from where it is held.
    const bool held = KestrinStoreType::isText(m_layout->getType(index)) && m_fields[index].set;
    const std::string formatted = held ? std::string() : getAttributeText(index, precision);
    const std::string& text = held ? m_fields[index].text : formatted;
    const size_t length = KestrinStoreType::fittedLength(text, room);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return 0;
}

const NORVAKestrinGenericDataObject::Field* NORVAKestrinGenericDataObject::getAttribute(long index, bool) const {
    if (!valid(index) || !m_fields[index].set) return nullptr;
    return &m_fields[index];
}

long NORVAKestrinGenericDataObject::setAttribute(long index, double value, bool) {
    if (!valid(index)) return -1;
    const int32_t type = m_layout->getType(index);
    double held = 0.0;
    if (KestrinStoreType::isText(type) || !KestrinStoreType::fitsType(type, value, held)) return -1;
    m_fields[index].number = type == KestrinStoreType::FLOAT ? static_cast<float>(held) : held;
    m_fields[index].set = true;
    return 0;
}

long NORVAKestrinGenericDataObject::setAttribute(long index, const NORVAUString& value, bool) {
    if (!valid(index)) return -1;
    const int32_t type = m_layout->getType(index);
    if (!KestrinStoreType::isText(type)) return -1;
    loadText(index, value.toUTF8());
    return 0;
}

void NORVAKestrinGenericDataObject::setEmptyValues() {
    for (long i = 0; i < getNumAtts(); ++i) {
        const int32_t type = m_layout->getType(i);
        if (!KestrinStoreType::hasEmptyValue(type)) continue;
        m_fields[i].number = KestrinStoreType::emptyValue(type);
        m_fields[i].set = true;
    }
}

void NORVAKestrinGenericDataObject::clearAttribute(long index) {
    if (valid(index)) m_fields[index] = Field();
}

void NORVAKestrinGenericDataObject::loadNumber(long index, double value) {
    if (!valid(index)) return;
    const int32_t type = m_layout->getType(index);
    if (KestrinStoreType::isText(type)) return;
    double v = KestrinStoreType::saturate(type, value);
    if (type == KestrinStoreType::FLOAT) v = static_cast<float>(v);
    m_fields[index].number = v;
    m_fields[index].set = true;
}

void NORVAKestrinGenericDataObject::loadText(long index, const std::string& text) {
    if (!valid(index)) return;
    const int32_t type = m_layout->getType(index);
    if (!KestrinStoreType::isText(type)) return;
    // Assigned, not rebuilt: a field keeps the room it had for text as long.
    if (type == KestrinStoreType::FIXED_TEXT)
        m_fields[index].text = KestrinStoreType::fitText(text, m_layout->getAttributeSize(index));
    else
        m_fields[index].text = text;
    m_fields[index].set = true;
}

// Text read for this field alone is moved in, not copied.
void NORVAKestrinGenericDataObject::loadText(long index, std::string&& text) {
    if (!valid(index) || !KestrinStoreType::isText(m_layout->getType(index)) ||
        m_layout->getType(index) == KestrinStoreType::FIXED_TEXT)
        return loadText(index, text);
    m_fields[index].text = std::move(text);
    m_fields[index].set = true;
}

void NORVAKestrinGenericDataObject::copyField(const NORVAKestrinGenericDataObject& from, long index) {
    if (valid(index) && from.valid(index)) m_fields[static_cast<size_t>(index)] = from.m_fields[static_cast<size_t>(index)];
}

bool NORVAKestrinGenericDataObject::sameField(const NORVAKestrinGenericDataObject& o, long index) const {
    if (!valid(index) || !o.valid(index)) return false;
    const Field& a = m_fields[static_cast<size_t>(index)];
    const Field& b = o.m_fields[static_cast<size_t>(index)];
    return a.set == b.set && (!a.set || (a.number == b.number && a.text == b.text));
}

bool NORVAKestrinGenericDataObject::operator==(const NORVAKestrinGenericDataObject& o) const {
    if (m_fields.size() != o.m_fields.size()) return false;
    for (long i = 0; i < getNumAtts(); ++i)
        if (!sameField(o, i)) return false;
    return true;
}
