// Which kind of dialog the file selector and the message box use. Automatic
// takes a desktop dialog run as a subprocess (zenity, then kdialog) when the
// frame has a real window and one is installed, else the toolkit's own dialog
// drawn inside the frame. Host GUI thread.
#pragma once

#include <string>

enum class CDialogMode { automatic, builtIn, desktop };

void setDialogMode(CDialogMode mode);
CDialogMode getDialogMode();

// A file type offered by the file selector: "VST Plugin Program", "fxp".
struct CFileExtension {
  std::string description;
  std::string extension;  // without the dot
  CFileExtension() = default;
  CFileExtension(const char* desc, const char* ext) : description(desc ? desc : ""), extension(ext ? ext : "") {}
};
