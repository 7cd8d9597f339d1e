#include <tinyxml.h>

#include "SettingsDocument.h"

int ReadSettingsDocument(const TiXmlElement*, EncoderRecord&) { return 0; }
int ReadSettingsText(const char*, int, EncoderRecord&) { return 0; }
