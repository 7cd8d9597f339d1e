#pragma once

#include <QString>
#include <cstdint>

// What a row's value cell holds, whichever editor holds it: the text of an edit box or a
// fixed text, the selected entry of a drop-down list (-1: none), or an IPv4 address in
// host order. Rows without a value (headings) hold None.
struct RowValue {
    enum class Type { None, Text, Index, Address };

    Type type = Type::None;
    QString text;
    int index = -1;
    uint32_t address = 0;

    static RowValue Text(const QString& text)
    {
        RowValue value;
        value.type = Type::Text;
        value.text = text;
        return value;
    }
    static RowValue Index(int index)
    {
        RowValue value;
        value.type = Type::Index;
        value.index = index;
        return value;
    }
    static RowValue Address(uint32_t hostOrder)
    {
        RowValue value;
        value.type = Type::Address;
        value.address = hostOrder;
        return value;
    }
};
