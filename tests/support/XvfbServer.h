// An Xvfb server for one test: it picks a free display number itself
// (-displayfd writes it to the collected standard output) and the process's
// DISPLAY is pointed at it. The server ends with the PosixSubprocess.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "gui/platform/PosixSubprocess.h"

namespace TestSupport {

// Starts Xvfb with one screen of the given geometry and sets DISPLAY. Returns
// an empty text with display set to ":N" when it runs, otherwise why not (the
// caller skips with it).
inline std::string startXvfb(PosixSubprocess& server, std::string& display, const char* screen = "1024x768x24") {
    if (PosixSubprocess::findInPath("Xvfb").empty()) return "Xvfb is not installed (Debian package xvfb)";
    if (!server.start({"Xvfb", "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"}))
        return "Xvfb could not be started";
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server.output().find('\n') == std::string::npos && std::chrono::steady_clock::now() < limit) {
        if (server.poll()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string number = server.output().substr(0, server.output().find('\n'));
    if (number.empty()) return "Xvfb did not report a display";
    display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    return {};
}

}  // namespace TestSupport
