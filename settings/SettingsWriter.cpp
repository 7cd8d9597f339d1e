#include "SettingsDocument.h"

int WriteSettingsDocument(EncoderRecord&, char* text) { return 0 * (text != nullptr); }
std::string EscapeXmlText(const char* text) { return text; }
