#pragma once
// A record field named as data: its type, byte offset and size in EncoderRecord. The
// settings document's field table and the sheet's layout table both point at fields this
// way, so that one generic read and store serves every field.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "EncoderRecord.h"

enum class FieldType : uint8_t { None, Text, UInt8, Int8, UInt16, Int32, Address };

struct FieldRef {
    FieldType type = FieldType::None;
    uint16_t offset = 0;
    uint16_t size = 0;
};

constexpr bool operator==(FieldRef a, FieldRef b)
{
    return a.type == b.type && a.offset == b.offset && a.size == b.size;
}
constexpr bool operator!=(FieldRef a, FieldRef b)
{
    return !(a == b);
}

template <class T>
struct FieldTypeOf;   // no definition: a field of another type does not compile
template <>
struct FieldTypeOf<uint8_t> {
    static constexpr FieldType value = FieldType::UInt8;
};
template <>
struct FieldTypeOf<int8_t> {
    static constexpr FieldType value = FieldType::Int8;
};
template <>
struct FieldTypeOf<uint16_t> {
    static constexpr FieldType value = FieldType::UInt16;
};
template <>
struct FieldTypeOf<int32_t> {
    static constexpr FieldType value = FieldType::Int32;
};
template <>
struct FieldTypeOf<uint32_t> {
    static constexpr FieldType value = FieldType::Address;
};
template <size_t N>
struct FieldTypeOf<char[N]> {
    static constexpr FieldType value = FieldType::Text;
};

// RECORD_FIELD(program_info1.video.pid): the field's type is taken from the record itself.
#define RECORD_FIELD(path)                                                                                             \
    FieldRef                                                                                                           \
    {                                                                                                                  \
        FieldTypeOf<std::remove_cv_t<decltype(std::declval<EncoderRecord&>().path)>>::value,                           \
            static_cast<uint16_t>(offsetof(EncoderRecord, path)),                                                      \
            static_cast<uint16_t>(sizeof(std::declval<EncoderRecord&>().path))                                         \
    }

// Numbers are read with the field's own signedness and stored truncated to its width.
int64_t FieldNumber(FieldRef field, const EncoderRecord& record);
void SetFieldNumber(FieldRef field, EncoderRecord& record, int64_t value);
// Texts are read up to their terminating zero (or the end of the array, whichever is
// first) and stored with their terminating zero, cut to fit; bytes after it are left as
// they were.
std::string FieldText(FieldRef field, const EncoderRecord& record);
void SetFieldText(FieldRef field, EncoderRecord& record, const std::string& text);
// Copies the field's bytes, whole, from one record to another; a field of type None copies
// nothing.
void CopyFieldValue(FieldRef field, const EncoderRecord& from, EncoderRecord& to);

// True when `a` lies before `b` in the record: program 1's fields before program 2's.
constexpr bool FieldBefore(FieldRef a, FieldRef b)
{
    return a.offset < b.offset;
}

// True when the field holds the same value in both records (texts up to their zero).
bool SameFieldValue(FieldRef field, const EncoderRecord& a, const EncoderRecord& b);
