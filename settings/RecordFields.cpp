#include "RecordFields.h"

#include <algorithm>
#include <cstring>

namespace {

const unsigned char* Bytes(FieldRef field, const EncoderRecord& record)
{
    return reinterpret_cast<const unsigned char*>(&record) + field.offset;
}

unsigned char* Bytes(FieldRef field, EncoderRecord& record)
{
    return reinterpret_cast<unsigned char*>(&record) + field.offset;
}

template <class T>
T Load(FieldRef field, const EncoderRecord& record)
{
    T value;
    std::memcpy(&value, Bytes(field, record), sizeof value);
    return value;
}

template <class T>
void Save(FieldRef field, EncoderRecord& record, T value)
{
    std::memcpy(Bytes(field, record), &value, sizeof value);
}

}   // namespace

int64_t FieldNumber(FieldRef field, const EncoderRecord& record)
{
    switch (field.type) {
    case FieldType::UInt8:
        return Load<uint8_t>(field, record);
    case FieldType::Int8:
        return Load<int8_t>(field, record);
    case FieldType::UInt16:
        return Load<uint16_t>(field, record);
    case FieldType::Int32:
        return Load<int32_t>(field, record);
    case FieldType::Address:
        return Load<uint32_t>(field, record);
    case FieldType::None:
    case FieldType::Text:
        break;
    }
    return 0;
}

void SetFieldNumber(FieldRef field, EncoderRecord& record, int64_t value)
{
    // Truncation to the field's width, as a store into a narrower integer does.
    const uint64_t bits = static_cast<uint64_t>(value);
    switch (field.type) {
    case FieldType::UInt8:
    case FieldType::Int8:
        Save(field, record, static_cast<uint8_t>(bits));
        break;
    case FieldType::UInt16:
        Save(field, record, static_cast<uint16_t>(bits));
        break;
    case FieldType::Int32:
    case FieldType::Address:
        Save(field, record, static_cast<uint32_t>(bits));
        break;
    case FieldType::None:
    case FieldType::Text:
        break;
    }
}

std::string FieldText(FieldRef field, const EncoderRecord& record)
{
    if (field.type != FieldType::Text) return {};
    const char* text = reinterpret_cast<const char*>(Bytes(field, record));
    const void* end = std::memchr(text, '\0', field.size);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : field.size;
    return std::string(text, length);
}

void SetFieldText(FieldRef field, EncoderRecord& record, const std::string& text)
{
    if (field.type != FieldType::Text || field.size == 0) return;
    const size_t length = std::min<size_t>(std::strlen(text.c_str()), field.size - 1u);
    unsigned char* bytes = Bytes(field, record);
    std::memcpy(bytes, text.data(), length);
    bytes[length] = '\0';
}

bool SameFieldValue(FieldRef field, const EncoderRecord& a, const EncoderRecord& b)
{
    if (field.type == FieldType::Text) return FieldText(field, a) == FieldText(field, b);
    return FieldNumber(field, a) == FieldNumber(field, b);
}

void CopyFieldValue(FieldRef field, const EncoderRecord& from, EncoderRecord& to)
{
    if (field.type == FieldType::None || size_t{field.offset} + field.size > sizeof(EncoderRecord)) return;
    std::memcpy(Bytes(field, to), Bytes(field, from), field.size);
}
