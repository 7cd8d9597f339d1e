#pragma once
// How the window names an encoder and an exchange: one place for the frame's files.

#include <QString>

#include "ExchangeEngine.h"
#include "Socket.h"

inline QString DottedText(uint32_t hostOrderAddress)
{
    return QString::fromStdString(DottedFromAddress(hostOrderAddress));
}

inline QString ExchangeText(ExchangeKind kind)
{
    return QString::fromLatin1(ExchangeKindName(kind));
}
