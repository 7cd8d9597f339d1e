#pragma once
// A record as one JSON object, its settings by their dotted field names in document order:
//   {"keyboard": 0, "version": "KV202-HW2.1", "ipAddr": "10.1.2.20", ...,
//    "program_info1.video.pid": 256, "program_info1.video.source": "SDI", ...}
// Numbers as numbers, addresses dotted, codes as their words (null for a code outside the
// list), texts as strings. The passwords are never included.

#include <functional>
#include <string>

#include "EncoderRecord.h"

// Turns a text's raw encoder bytes into UTF-8. Without one, the texts are decoded as the
// encoder's GB2312 (Utf8FromGb2312).
using TextDecoder = std::function<std::string(const std::string& raw)>;

std::string RecordJsonObject(const EncoderRecord& record, const TextDecoder& decode = nullptr);

// `text` as a quoted JSON string: quotes, backslashes and control characters escaped, and
// any byte that is not part of well-formed UTF-8 replaced by U+FFFD, so the result is
// always valid JSON whatever the bytes.
std::string JsonString(const std::string& text);
