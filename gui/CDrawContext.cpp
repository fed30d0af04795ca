// Drawing context (see CDrawContext.h): the text layout shared by every
// platform. The drawing itself is the platform's (platform/CairoGraphics.cpp,
// platform/GdiPlusGraphics.cpp).
#include "gui/CDrawContext.h"

std::vector<std::string> CDrawContext::wrapText(const std::string& text, int maxWidth) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string line;
    std::size_t pos = 0;
    while (pos < paragraph.size()) {
      std::size_t space = paragraph.find(' ', pos);
      std::string word = paragraph.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
      pos = space == std::string::npos ? paragraph.size() : space + 1;
      std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && getStringWidth(candidate.c_str()) > maxWidth) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
    }
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}
