// Reading a saved report back: the text that a rich edit control of this
// process makes of an RTF file, paragraphs ended by "\n", its footer masked
// (MaskFooter).
#pragma once

#include <string>

std::string RtfToPlainText(const std::string& rtf);
