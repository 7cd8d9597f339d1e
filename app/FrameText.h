#pragma once
// How the window names an encoder and an exchange: one place for the frame's files.

#include <QString>

#include "ExchangeEngine.h"
#include "TextConversions.h"

inline QString DottedText(uint32_t hostOrderAddress)
{
    return QString::fromStdString(FormatDotted(hostOrderAddress));
}

inline QString ExchangeText(ExchangeKind kind)
{
    return QString::fromLatin1(ExchangeKindName(kind));
}

// "1 encoder", "2 encoders": a count with its noun.
inline QString Counted(size_t count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

// A settings row as the rule lines name it ("Video: Bitrate"), without a warning after it.
QString SettingRowName(const char* heading, const char* label);
